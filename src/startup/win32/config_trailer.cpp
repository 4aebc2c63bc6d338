// Reading the stub's own trailer at start.
#include "startup/win32/config_trailer.h"

#include <windows.h>

#include "resource_ids.h"
#include "startup/trailer.h"
#include "startup/win32/startup_state.h"

SfxSettingsRecord SfxSettings;
SysFile ModuleFile = SYS_FILE_INVALID;

uint32_t ReadConfigurationTrailer(void)
{
    char path[MAX_PATH];
    ResetSettings(&SfxSettings);
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    // A cut path would name another file; treat it as unreadable.
    if (length == 0 || length >= MAX_PATH)
        return IDS_ERR_CORRUPT;
    ModuleFile = SysFileOpenRead(path);
    if (ModuleFile == SYS_FILE_INVALID)
        return IDS_ERR_CORRUPT;
    const uint8_t* block;
    uint32_t blockLength;
    int result = ReadTrailer(ModuleFile, UiLanguage, &SfxSettings, &block, &blockLength);
    if (result == TRAILER_NO_MEMORY)
        return IDS_ERR_NO_MEMORY;
    if (result != TRAILER_OK)
        return IDS_ERR_CORRUPT;
    return 0;
}
