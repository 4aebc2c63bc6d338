// The extraction folder.
#pragma once
#include <windows.h>

/* The extraction folder path. Empty until the folder page resolves the
   template; written by the folder page when it is left, then once by the
   extraction worker at its start; read by the cleanup and the commands. */
extern char TargetFolder[MAX_PATH];
