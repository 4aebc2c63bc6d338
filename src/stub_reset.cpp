// ResetStubState: on the top floor, since it reaches every subsystem.
#include "stub_reset.h"

#include "commands/command_runner.h"
#include "crypto/crypto_state.h"
#include "extract/win32/cleanup_journal.h"
#include "extract/win32/extract_state.h"
#include "extract/win32/file_calls.h"
#include "startup/trailer.h"
#include "startup/win32/config_trailer.h"
#include "startup/win32/startup_state.h"
#include "startup/win32/unattended_run.h"
#include "wizard/frame_link.h"

void ResetStubState(void)
{
    ResetSettings(&SfxSettings);
    if (ModuleFile != SYS_FILE_INVALID)
        SysFileClose(ModuleFile);
    ModuleFile = SYS_FILE_INVALID;
    LastErrorId = 0;
    ParseCommandSwitches(NULL, &RunSwitches);
    if (RunLogFile != INVALID_HANDLE_VALUE)
        CloseHandle(RunLogFile);
    RunLogFile = INVALID_HANDLE_VALUE;
    CommandExitCode = 0;

    FrameWindow = NULL;
    WorkerThreadId = 0;
    CancelRequested = 0;

    TargetFolder[0] = 0;
    ExtractionFolderMade = 0;
    BytesTotal = 0;
    ProgressDivisor = 0;
    BytesDone = 0;
    ProgressBar = NULL;
    ProgressPageWindow = NULL;
    ForgetJournal();

    ResetCryptoState();
    RestoreFileCalls();
}
