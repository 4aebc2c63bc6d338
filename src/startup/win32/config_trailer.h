// The package's settings as the stub holds them for the whole run.
#pragma once
#include <stdint.h>

#include "platform/sys_file.h"
#include "startup/settings.h"

/* Filled by ReadConfigurationTrailer on the main thread before any window
   exists; read-only afterwards, except passwordAccepted, which the password
   check sets before the extraction worker starts. The frame stores the
   default title in it when the trailer has none. */
extern SfxSettingsRecord SfxSettings;

/* Read handle on the program's own file; open until the process ends. */
extern SysFile ModuleFile;

// Opens the program's own file and reads its trailer into SfxSettings. 0, or
// the base id of the message the program ends with: "The archive file is
// corrupted", or "Out of memory" when the record block cannot be had.
uint32_t ReadConfigurationTrailer(void);
