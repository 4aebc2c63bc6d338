// Fuzz target: the switch parser. The input is a command line as Windows
// hands it to a program (its zero added here); the parser must stay inside
// its buffers and give back only values of switches it says it read.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "startup/command_switches.h"
#include "support/fuzz_input.h"

// A value is zero-terminated inside its buffer, set exactly when its bit is.
static void CheckValue(const char* value, size_t size, int given, const char* what)
{
    FuzzCheck(memchr(value, 0, size) != NULL, what);
    FuzzCheck((value[0] != 0) == (given != 0), what);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<char> line(data, data + size);
    line.push_back(0);
    CommandSwitches switches;
    memset(&switches, 0x5A, sizeof switches);
    uint32_t given = ParseCommandSwitches(line.data(), &switches);
    FuzzCheck(given == switches.given, "the result differs from the record's bits");
    FuzzCheck((given & ~0x7Fu) == 0, "a bit of no switch");
    CheckValue(switches.folder, sizeof switches.folder, given & SWITCH_FOLDER, "the folder's value");
    CheckValue(switches.logFile, sizeof switches.logFile, given & SWITCH_LOG, "the log's value");
    CheckValue(switches.password, sizeof switches.password, given & SWITCH_PASSWORD, "the password's value");
    return 0;
}
