// The search for a command's program. Given no application name,
// CreateProcessA would look in the folder of the running package and in the
// current folder before the system's folders; the runner names the program
// itself, found here, so that neither is ever searched.
#include "commands/program_search.h"

#include "extract/path_helpers.h"
#include "extract/win32/extract_state.h"
#include "extract/win32/file_calls.h"
#include "startup/win32/checked_alloc.h"

#define EXE_EXTENSION ".exe"
#define EXE_EXTENSION_LENGTH 4

/* Where a program's name leads. */
#define NAME_RELATIVE 0   // searched for in the extraction folder and the system's folders
#define NAME_FULL     1   // a drive and a root, a root, or a share: taken as it stands
#define NAME_REFUSED  2   // leads to a folder this program did not choose

/* The folders of PATH for one search, read once when first needed. */
struct SearchFolders {
    char* path;    // the variable's value, or null before it is read
    int missing;   // the variable could not be read: nothing to search
};

static int IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

const char* SkipBlanks(const char* text)
{
    while (IsBlank(*text))
        text++;
    return text;
}

// True when the last component of name (length bytes) has a dot. As the
// system does, a name ending in a dot counts as one with an extension.
static int HasExtension(const char* name, int length)
{
    for (int i = length - 1; i >= 0 && !IsPathSeparator(name[i]); i--) {
        if (name[i] == '.')
            return 1;
    }
    return 0;
}

static int IsComponentEnd(const char* name, int length, int i)
{
    return i == length || IsPathSeparator(name[i]);
}

static int HasParentComponent(const char* name, int length)
{
    for (int start = 0; start < length; start++) {
        if ((start == 0 || IsPathSeparator(name[start - 1])) && name[start] == '.' && start + 1 < length &&
            name[start + 1] == '.' && IsComponentEnd(name, length, start + 2))
            return 1;
    }
    return 0;
}

static int ClassifyProgramName(const char* name, int length)
{
    if (length >= 2 && name[1] == ':')
        return length >= 3 && IsPathSeparator(name[2]) ? NAME_FULL : NAME_REFUSED;
    if (HasParentComponent(name, length))
        return NAME_REFUSED;
    return IsPathSeparator(name[0]) ? NAME_FULL : NAME_RELATIVE;
}

// True for an existing file that is not a folder: a folder of the name
// does not stop the system's search either.
static int IsExistingFile(const char* path)
{
    DWORD attributes = GetPathAttributes(path);
    return attributes != 0 && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Looks for name (length bytes, ".exe" added when it has no extension) in
// folder, or as it stands when folder is null. 0 with its full path in
// path when that is an existing file; -1 when not, or when a path would not
// fit: a path cut short would name another file.
static int FindProgramIn(const char* folder, const char* name, int length, char path[MAX_PATH])
{
    char joined[MAX_PATH];
    int used = 0;
    if (folder != NULL) {
        // An empty folder would make the name one from the drive's root.
        used = lstrlenA(folder);
        if (used == 0 || used + 1 >= MAX_PATH)
            return -1;
        CopyMemory(joined, folder, (SIZE_T)used);
        if (!IsPathSeparator(joined[used - 1]))
            joined[used++] = '\\';
    }
    int extension = HasExtension(name, length) ? 0 : EXE_EXTENSION_LENGTH;
    if (used + length + extension + 1 > MAX_PATH)
        return -1;
    CopyMemory(joined + used, name, (SIZE_T)length);
    used += length;
    CopyMemory(joined + used, EXE_EXTENSION, (SIZE_T)extension);
    joined[used + extension] = 0;
    // The full form has one kind of separator and no "." components, as the
    // application name and anything shown of it should.
    DWORD full = GetFullPathNameA(joined, MAX_PATH, path, NULL);
    if (full == 0 || full >= MAX_PATH)
        return -1;
    return IsExistingFile(path) ? 0 : -1;
}

// Reads PATH the first time a search gets that far.
static const char* PathFolders(SearchFolders* folders)
{
    if (folders->path == NULL && !folders->missing) {
        DWORD size = GetEnvironmentVariableA("PATH", NULL, 0);
        if (size > 0) {
            folders->path = (char*)CheckedAlloc(size);
            DWORD length = GetEnvironmentVariableA("PATH", folders->path, size);
            if (length == 0 || length >= size)
                folders->path = NULL;
        }
        folders->missing = folders->path == NULL;
    }
    return folders->path;
}

// Looks for name in each folder of PATH in turn. An entry without a drive or
// a root would be taken from the current folder, so it is passed over.
static int FindProgramOnPath(const char* name, int length, SearchFolders* folders, char path[MAX_PATH])
{
    const char* entry = PathFolders(folders);
    if (entry == NULL)
        return -1;
    char folder[MAX_PATH];
    while (*entry != 0) {
        const char* end = entry;
        while (*end != 0 && *end != ';')
            end++;
        int entryLength = (int)(end - entry);
        if (entryLength > 0 && entryLength < MAX_PATH &&
            ClassifyProgramName(entry, entryLength) == NAME_FULL) {
            CopyMemory(folder, entry, (SIZE_T)entryLength);
            folder[entryLength] = 0;
            if (FindProgramIn(folder, name, length, path) == 0)
                return 0;
        }
        entry = *end == ';' ? end + 1 : end;
    }
    return -1;
}

// Looks for a relative name in the extraction folder, the system folder,
// the Windows folder and the folders of PATH, in this order.
static int SearchProgram(const char* name, int length, SearchFolders* folders, char path[MAX_PATH])
{
    if (FindProgramIn(TargetFolder, name, length, path) == 0)
        return 0;
    // The system takes ".\setup.exe" from the current folder only, which
    // for the commands is the extraction folder.
    if (name[0] == '.' && IsComponentEnd(name, length, 1))
        return -1;
    char folder[MAX_PATH];
    UINT folderLength = GetSystemDirectoryA(folder, MAX_PATH);
    if (folderLength > 0 && folderLength < MAX_PATH && FindProgramIn(folder, name, length, path) == 0)
        return 0;
    folderLength = GetWindowsDirectoryA(folder, MAX_PATH);
    if (folderLength > 0 && folderLength < MAX_PATH && FindProgramIn(folder, name, length, path) == 0)
        return 0;
    return FindProgramOnPath(name, length, folders, path);
}

static int FindNamedProgram(const char* name, int length, SearchFolders* folders, char path[MAX_PATH])
{
    if (length <= 0)
        return -1;
    switch (ClassifyProgramName(name, length)) {
    case NAME_FULL:
        return FindProgramIn(NULL, name, length, path);
    case NAME_RELATIVE:
        return SearchProgram(name, length, folders, path);
    default:
        return -1;
    }
}

int FindCommandProgram(const char* line, CommandProgram* program)
{
    SearchFolders folders = {NULL, 0};
    if (*line == '"') {
        const char* name = line + 1;
        const char* end = name;
        while (*end != 0 && *end != '"')
            end++;
        if (FindNamedProgram(name, (int)(end - name), &folders, program->path) != 0)
            return -1;
        program->arguments = SkipBlanks(*end == '"' ? end + 1 : end);
        return 0;
    }
    // Unquoted, a name with blanks cannot be told from a name and its
    // arguments; the system tries each run of words from the start in turn,
    // each in every folder, and so does this search.
    const char* end = line;
    while (*end != 0) {
        while (*end != 0 && !IsBlank(*end))
            end++;
        if (FindNamedProgram(line, (int)(end - line), &folders, program->path) == 0) {
            program->arguments = SkipBlanks(end);
            return 0;
        }
        end = SkipBlanks(end);
    }
    return -1;
}

int IsBatchProgram(const char* path)
{
    const char* name = PathFileNamePart(path);
    const char* extension = NULL;
    for (const char* c = name; *c != 0; c++) {
        if (*c == '.')
            extension = c;
    }
    return extension != NULL && (lstrcmpiA(extension, ".bat") == 0 || lstrcmpiA(extension, ".cmd") == 0);
}
