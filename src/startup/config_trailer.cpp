// Reading the stub's own trailer at start.
#include "config_trailer.h"

#include <windows.h>

#include "../../res/resource_ids.h"
#include "fatal_error.h"
#include "startup_state.h"
#include "trailer.h"

SfxSettingsRecord SfxSettings;
SysFile ModuleFile = SYS_FILE_INVALID;

void ReadConfigurationTrailer(void)
{
    char path[MAX_PATH];
    ResetSettings(&SfxSettings);
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    // A cut path would name another file; treat it as unreadable.
    if (length == 0 || length >= MAX_PATH)
        ShowFatalError(IDS_ERR_CORRUPT);
    ModuleFile = SysFileOpenRead(path);
    if (ModuleFile == SYS_FILE_INVALID)
        ShowFatalError(IDS_ERR_CORRUPT);
    const uint8_t* block;
    uint32_t blockLength;
    int result = ReadTrailer(ModuleFile, UiLanguage, &SfxSettings, &block, &blockLength);
    if (result == TRAILER_NO_MEMORY)
        ShowFatalError(IDS_ERR_NO_MEMORY);
    if (result != TRAILER_OK)
        ShowFatalError(IDS_ERR_CORRUPT);
}
