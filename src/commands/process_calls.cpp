// The table of process-start calls, filled with the system's functions.
#include "commands/process_calls.h"

ProcessStartCalls ProcessCalls = {
    CreateProcessA,
    ShellExecuteExA,
};
