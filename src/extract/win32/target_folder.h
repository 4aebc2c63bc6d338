// The extraction folder: the template from the trailer resolved into a
// path, folder aliases (system folders and the registry alias table), the
// unique sub-folder that every run extracts into, and the folders made
// above each file.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "extract/win32/extract_state.h"

/* A path inside the extraction folder: the worker's path of an entry and
   each prefix of it that CreateParentDirectories works on. */
#define ENTRY_PATH_SIZE 264

// Fills TargetFolder from the trailer's folder template (default "\\!Temp"),
// or with the folder /D named.
void ResolveFolderTemplate(void);

// Resolves an alias name (negative length: measure it) into destination,
// a buffer of MAX_PATH bytes. 0, or -1 when the alias is unknown or its
// name or path would not fit.
int ResolvePathAlias(char* destination, const char* name, int length);

// Reads a REG_SZ path of at least one character; with try64 the 64-bit view
// is opened first. 0 or -1.
int ReadRegistryPath(char* destination, HKEY hive, int try64, const char* key, const char* value);

// Makes TargetFolder absolute, appends "_X" and six characters, and makes
// that folder (and any missing one above it), journaling each; a name that
// is taken moves on to the next. 0, or -1 with LastErrorId set: 21 when the
// path leaves no room or a folder cannot be made, 23 when the journal is full.
int MakeUniqueSubfolder(void);

// The folder of this run: TargetFolder itself when /X and /D ask for the
// files there (made, or found empty: 21 with ERROR_DIR_NOT_EMPTY when not),
// else the unique sub-folder. 0, or -1 with LastErrorId set.
int MakeExtractionFolder(void);

// The same with a given seed instead of the module instance handle.
int MakeUniqueSubfolderWithSeed(uint32_t seed);

// Creates every missing folder above the last separator of path, journaling
// each; 0, or -1 with LastErrorId set. A folder that is a link or a junction
// is refused: the files would land somewhere else than named.
int CreateParentDirectories(const char* path);
