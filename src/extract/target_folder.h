// The extraction folder: the template from the trailer resolved into a
// path, folder aliases (system folders and the registry alias table), and
// the unique sub-folder that every run extracts into.
#pragma once
#include <windows.h>
#include <stdint.h>

/* The extraction folder path. Empty until the folder page resolves the
   template; written by the folder page when it is left, then once by the
   extraction worker at its start; read by the cleanup and the commands. */
extern char TargetFolder[MAX_PATH];

// Fills TargetFolder from the trailer's folder template (default "\\!Temp").
void ResolveFolderTemplate(void);

// Resolves an alias name (negative length: measure it) into destination,
// a buffer of MAX_PATH bytes. 0, or -1 when the alias is unknown or its
// name or path would not fit.
int ResolvePathAlias(char* destination, const char* name, int length);

// Reads a REG_SZ path of at least one character; with try64 the 64-bit view
// is opened first. 0 or -1.
int ReadRegistryPath(char* destination, HKEY hive, int try64, const char* key, const char* value);

/* 1 once MakeUniqueSubfolder has made the extraction folder; written once
   by the extraction worker. Until then TargetFolder is a folder this run
   did not make, and the cleanup must not look into it. */
extern BYTE ExtractionFolderMade;

// Makes TargetFolder absolute, appends "_X" and six characters, and makes
// that folder (and any missing one above it), journaling each; a name that
// is taken moves on to the next. 0, or -1 with LastErrorId set: 21 when the
// path leaves no room or a folder cannot be made, 23 when the journal is full.
int MakeUniqueSubfolder(void);

// The same with a given seed instead of the module instance handle.
int MakeUniqueSubfolderWithSeed(uint32_t seed);
