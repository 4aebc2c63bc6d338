// Small operations on ANSI path texts shared by extraction, the target
// folder and the cleanup: separators, file-name parts, joins, the mapping of
// the OEM umlauts in archive names to the active ANSI code page, and the test
// for names that would leave the folder they are joined to.
#pragma once
#include <stdint.h>

/* The pair table for the active code page: a list of {archive byte,
   replacement} pairs ended by a zero byte. Null until the first name with a
   byte 0x80 or above is mapped; then chosen once from the ANSI code page and
   kept. Whichever thread maps first writes it; all would write the same. */
extern const uint8_t* NamePairTable;

// True for a backslash and a forward slash.
int IsPathSeparator(char c);

// The part of path after its last separator or colon; the whole path when
// there is none, an empty text when the path ends with one.
const char* PathFileNamePart(const char* path);

// Appends name to the folder text in a buffer of folderSize bytes, with one
// backslash between them; a leading separator of name is dropped. Returns
// where name was placed, or null, leaving folder as it was, when the result
// would not fit: a cut path could name another file.
char* PathJoin(char* folder, uint32_t folderSize, const char* name);

// The pair table the system uses for an ANSI code page.
const uint8_t* NamePairsForCodePage(uint32_t codePage);

// Rewrites every byte 0x80 or above of name by the pair table; 0, or -1 when
// such a byte has no pair (bytes before it are already rewritten).
int MapNameToAnsi(char* name);

/* Why a name must never be joined to the target folder; CheckEntryName's
   results. Each is a way for a name to reach something else than a new
   file of that name inside the folder. */
#define NAME_SAFE                  0
#define NAME_PARENT_COMPONENT      1   // a ".." component leads outside
#define NAME_COLON                 2   // a drive or an alternate data stream
#define NAME_CONTROL_BYTE          3
#define NAME_DEVICE                4   // CON, NUL, COM1 ... with any extension
#define NAME_TRAILING_DOT_OR_SPACE 5   // Windows drops them: another file's name

// Examines every component of an ANSI name, separated by either slash;
// NAME_SAFE or the first fault found.
int CheckEntryName(const char* name);

// True when CheckEntryName finds a fault.
int IsUnsafeEntryName(const char* name);
