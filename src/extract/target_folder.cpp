// The extraction folder's process-wide buffer.
#include "target_folder.h"

char TargetFolder[MAX_PATH];
