// The start of a run given switches: a package that forbids them refuses,
// help (asked for, or a switch not known) lists them, the given password is
// checked, and a silent run extracts, runs the commands and cleans up
// without a window, on this thread.
#include "switch_start.h"

#include <windows.h>

#include "commands/command_runner.h"
#include "crypto/password_check.h"
#include "crypto/secure_wipe.h"
#include "extract/win32/cleanup_journal.h"
#include "extract/win32/extraction_worker.h"
#include "extract/win32/target_folder.h"
#include "resource_ids.h"
#include "startup/win32/config_trailer.h"
#include "startup/win32/fatal_error.h"
#include "startup/win32/ui_texts.h"
#include "startup/win32/unattended_run.h"

// Shows (unless silent) and logs the text of messageId, and ends with code.
[[noreturn]] static void EndWithSwitchMessage(uint32_t messageId, UINT code)
{
    const char* text = LoadUiString(messageId);
    LogLine("message", text);
    if (!IsSilentRun()) {
        const char* title = SfxSettings.title.text;
        if (title == NULL)
            title = LoadUiString(IDS_DEFAULT_TITLE);
        MessageBoxA(NULL, text, title, code == 0 ? MB_ICONINFORMATION : MB_ICONERROR);
    }
    EndRun(code);
}

// A password accepted here skips the wizard's password page; a wrong one
// leaves the page to ask, which a silent run cannot.
static void CheckGivenPassword(void)
{
    if ((RunSwitches.given & SWITCH_PASSWORD) && !SfxSettings.passwordAccepted) {
        int verdict = VerifyPassword(&SfxSettings, (const uint8_t*)RunSwitches.password,
                                     (uint32_t)lstrlenA(RunSwitches.password));
        if (verdict == PASSWORD_NO_MEMORY)
            ShowFatalError(IDS_ERR_NO_MEMORY);
    }
    SecureWipe(RunSwitches.password, sizeof RunSwitches.password);
    if (!SfxSettings.passwordAccepted && IsSilentRun())
        ShowFatalError(IDS_PASSWORD_WRONG);
}

// Every failure goes through the fatal path, which a silent run keeps silent.
[[noreturn]] static void RunSilently(void)
{
    ResolveFolderTemplate();
    ExtractionWorker(NULL);
    if (HasCommandsToRun() && CommandRunner(NULL) != 0) {
        if (CommandFailure[0] != 0)
            ShowFatalText(CommandFailure, IDS_ERR_START_PROGRAM);
        ShowFatalError(IDS_ERR_START);
    }
    RunCleanup();
    EndRun(CommandExitCode);
}

void StartWithSwitches(uint32_t logFailure)
{
    if (SfxSettings.flags & FLAG_NO_SWITCHES)
        EndWithSwitchMessage(IDS_SWITCHES_REFUSED, EXIT_CODE_BASE + IDS_SWITCHES_REFUSED);
    if (logFailure != 0)
        ShowFatalError(logFailure);
    if (RunSwitches.given & SWITCH_UNKNOWN)
        EndWithSwitchMessage(IDS_SWITCH_HELP, EXIT_CODE_BASE + IDS_SWITCH_HELP);
    if (RunSwitches.given & SWITCH_HELP)
        EndWithSwitchMessage(IDS_SWITCH_HELP, 0);
    CheckGivenPassword();
    if (IsSilentRun())
        RunSilently();
}
