// Target folder resolution, and the making of the extraction folder and of
// the folders above a file.
#include "extract/win32/target_folder.h"

#include "extract/path_helpers.h"
#include "extract/win32/cleanup_journal.h"
#include "extract/win32/file_calls.h"
#include "resource_ids.h"
#include "startup/win32/config_trailer.h"
#include "startup/win32/startup_state.h"
#include "startup/win32/unattended_run.h"

#ifndef KEY_WOW64_64KEY
#define KEY_WOW64_64KEY 0x0100
#endif

#define UNIQUE_NAME_SIZE 9          // "_X", six characters, the zero
#define UNIQUE_SEED_STEP 17
#define UNIQUE_NAME_TRIES 65536     // far more than a folder ever holds of them

static const char DefaultTemplate[] = "\\\\!Temp";
static const char AliasTableKey[] = "SOFTWARE\\Brenlow GmbH\\Shared\\Paths\\Alias";
static const char CurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
static const char ShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
static const char UniqueAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

int ReadRegistryPath(char* destination, HKEY hive, int try64, const char* key, const char* value)
{
    HKEY opened;
    if (!(try64 && RegOpenKeyExA(hive, key, 0, KEY_READ | KEY_WOW64_64KEY, &opened) == ERROR_SUCCESS) &&
        RegOpenKeyExA(hive, key, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return -1;
    DWORD type = 0;
    DWORD size = MAX_PATH;
    LONG result = RegQueryValueExA(opened, value, NULL, &type, (BYTE*)destination, &size);
    RegCloseKey(opened);
    // REG_SZ data need not carry their zero; a value that fills the buffer
    // without one cannot be used as a path.
    if (result != ERROR_SUCCESS || type != REG_SZ || size <= 1 || destination[size - 1] != 0)
        return -1;
    return 0;
}

static int ResolveKnownAlias(char* destination, const char* alias)
{
    if (lstrcmpA(alias, "temp") == 0) {
        DWORD length = GetTempPathA(MAX_PATH, destination);
        return length > 0 && length < MAX_PATH ? 0 : -1;
    }
    if (lstrcmpA(alias, "windows") == 0) {
        UINT length = GetWindowsDirectoryA(destination, MAX_PATH);
        return length > 0 && length < MAX_PATH ? 0 : -1;
    }
    if (lstrcmpA(alias, "winsystem") == 0) {
        UINT length = GetSystemDirectoryA(destination, MAX_PATH);
        return length > 0 && length < MAX_PATH ? 0 : -1;
    }
    if (lstrcmpA(alias, "winprograms") == 0)
        return ReadRegistryPath(destination, HKEY_LOCAL_MACHINE, 0, CurrentVersionKey, "ProgramFilesDir");
    if (lstrcmpA(alias, "wincommon") == 0)
        return ReadRegistryPath(destination, HKEY_LOCAL_MACHINE, 0, CurrentVersionKey, "CommonFilesDir");
    if (lstrcmpA(alias, "winpersonal") == 0)
        return ReadRegistryPath(destination, HKEY_CURRENT_USER, 0, ShellFoldersKey, "Personal");
    if (lstrcmpA(alias, "extract") == 0) {
        lstrcpyA(destination, TargetFolder);
        return 0;
    }
    if (ReadRegistryPath(destination, HKEY_CURRENT_USER, 1, AliasTableKey, alias) == 0)
        return 0;
    return ReadRegistryPath(destination, HKEY_LOCAL_MACHINE, 1, AliasTableKey, alias);
}

int ResolvePathAlias(char* destination, const char* name, int length)
{
    char alias[MAX_PATH];
    if (length < 0)
        length = lstrlenA(name);
    if (length >= MAX_PATH)
        return -1;
    CopyMemory(alias, name, (SIZE_T)length);
    alias[length] = 0;
    CharLowerBuffA(alias, (DWORD)length);
    if (ResolveKnownAlias(destination, alias) != 0)
        return -1;
    int pathLength = lstrlenA(destination);
    if (pathLength > 3 && destination[pathLength - 1] == '\\')
        destination[pathLength - 1] = 0;
    return 0;
}

static int IsAliasForm(const char* text)
{
    return IsPathSeparator(text[0]) && IsPathSeparator(text[1]) && text[2] == '!';
}

void ResolveFolderTemplate(void)
{
    // The switch's value fits: both are MAX_PATH bytes.
    if (RunSwitches.given & SWITCH_FOLDER) {
        lstrcpyA(TargetFolder, RunSwitches.folder);
        return;
    }
    const char* folderTemplate = SfxSettings.folderTemplate.text;
    if (folderTemplate == NULL)
        folderTemplate = DefaultTemplate;
    if (!IsAliasForm(folderTemplate)) {
        if (lstrlenA(folderTemplate) < MAX_PATH) {
            lstrcpyA(TargetFolder, folderTemplate);
            return;
        }
        // A literal path that does not fit would be cut into another path.
        folderTemplate = DefaultTemplate;
    }
    const char* name = folderTemplate + 3;
    const char* end = name;
    while (*end != 0 && !IsPathSeparator(*end))
        end++;
    if (ResolvePathAlias(TargetFolder, name, (int)(end - name)) != 0 &&
        ResolvePathAlias(TargetFolder, "Temp", -1) != 0)
        TargetFolder[0] = 0;
    if (*end != 0 && PathJoin(TargetFolder, MAX_PATH, end) == NULL)
        ResolvePathAlias(TargetFolder, "Temp", -1);
}

// Stores the message id of a failure for the worker to show; -1.
static int FailWith(uint32_t messageId)
{
    return RecordFailure(messageId, NULL, 0);
}

// Works on the prefix of path of length length, creating parents first.
static int CreateParentDirectoriesUpTo(const char* path, int length)
{
    int s = length - 1;
    while (s >= 0 && !IsPathSeparator(path[s]))
        s--;
    if (s <= 0 || (s == 2 && path[1] == ':'))
        return 0;
    if (IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
        // Server and share of a UNC path are never created.
        int separators = 0;
        for (int i = 0; i < s; i++)
            separators += IsPathSeparator(path[i]);
        if (separators < 4)
            return 0;
    }
    if (CreateParentDirectoriesUpTo(path, s) != 0)
        return -1;
    char prefix[ENTRY_PATH_SIZE];
    if (s >= ENTRY_PATH_SIZE)
        return RecordFailure(IDS_ERR_CREATE_FOLDER, path, ERROR_FILENAME_EXCED_RANGE);
    CopyMemory(prefix, path, (SIZE_T)s);
    prefix[s] = 0;
    DWORD attributes = GetPathAttributes(prefix);
    // A link or junction would lead the files somewhere else than named.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return RecordFailure(IDS_ERR_CREATE_FOLDER, prefix, 0);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return 0;
    if (!FileCalls.createDirectory(prefix, NULL))
        return RecordFailure(IDS_ERR_CREATE_FOLDER, prefix, GetLastError());
    if (JournalAdd(JOURNAL_FOLDER, prefix, s) != 0) {
        FileCalls.removeDirectory(prefix);
        return FailWith(IDS_ERR_NO_MEMORY);
    }
    return 0;
}

int CreateParentDirectories(const char* path)
{
    return CreateParentDirectoriesUpTo(path, lstrlenA(path));
}

// Makes the folder at path, and any missing folder above it, journaling each.
// 1 when the folder was made, 0 when something of that name exists already,
// -1 on any other failure with LastErrorId set.
static int MakeFreshFolder(const char* path)
{
    BOOL made = FileCalls.createDirectory(path, NULL);
    // The folder the user chose need not exist yet.
    if (!made && GetLastError() == ERROR_PATH_NOT_FOUND) {
        if (CreateParentDirectories(path) != 0)
            return -1;
        made = FileCalls.createDirectory(path, NULL);
    }
    if (!made) {
        if (GetLastError() == ERROR_ALREADY_EXISTS)
            return 0;
        return RecordFailure(IDS_ERR_CREATE_FOLDER, path, GetLastError());
    }
    if (JournalAdd(JOURNAL_FOLDER, path, -1) != 0) {
        FileCalls.removeDirectory(path);
        return FailWith(IDS_ERR_NO_MEMORY);
    }
    return 1;
}

// Makes TargetFolder absolute, as the unique sub-folder's parent is.
static void MakeTargetFolderAbsolute(void)
{
    char full[MAX_PATH];
    // An emptied field means the current folder; made absolute like any
    // other, so that no later change of the current folder moves it.
    DWORD length = GetFullPathNameA(TargetFolder[0] != 0 ? TargetFolder : ".", MAX_PATH, full, NULL);
    if (length > 0 && length < MAX_PATH)
        lstrcpyA(TargetFolder, full);
}

int MakeUniqueSubfolderWithSeed(uint32_t seed)
{
    MakeTargetFolderAbsolute();
    DWORD length = (DWORD)lstrlenA(TargetFolder);
    if (length > 0 && !IsPathSeparator(TargetFolder[length - 1])) {
        if (length + 1 >= MAX_PATH)
            return RecordFailure(IDS_ERR_CREATE_FOLDER, TargetFolder, ERROR_FILENAME_EXCED_RANGE);
        TargetFolder[length++] = '\\';
        TargetFolder[length] = 0;
    }
    if (length + UNIQUE_NAME_SIZE > MAX_PATH)
        return RecordFailure(IDS_ERR_CREATE_FOLDER, TargetFolder, ERROR_FILENAME_EXCED_RANGE);
    char* unique = TargetFolder + length;
    // The folder is made here, not with the first file: a folder that
    // appeared under the name in between (with its contents, links or
    // junctions) would otherwise be written into as if it were ours.
    for (uint32_t tries = 0; tries < UNIQUE_NAME_TRIES; tries++) {
        unique[0] = '_';
        unique[1] = 'X';
        for (int i = 0; i < 6; i++)
            unique[2 + i] = UniqueAlphabet[(seed >> (25 - 5 * i)) & 31];
        unique[8] = 0;
        int made = MakeFreshFolder(TargetFolder);
        if (made < 0)
            return -1;
        if (made > 0) {
            ExtractionFolderMade = 1;
            return 0;
        }
        seed += UNIQUE_SEED_STEP;
    }
    return RecordFailure(IDS_ERR_CREATE_FOLDER, TargetFolder, ERROR_ALREADY_EXISTS);
}

// True when the folder at path holds nothing (its "." and ".." aside).
static int IsEmptyFolder(const char* path)
{
    char pattern[MAX_PATH];
    lstrcpyA(pattern, path);
    if (PathJoin(pattern, MAX_PATH, "*") == NULL)
        return 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int empty = 1;
    do {
        const char* name = found.cFileName;
        if (!(name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))))
            empty = 0;
    } while (empty && FindNextFileA(search, &found));
    FindClose(search);
    return empty;
}

// /X with /D: the files go into the named folder itself. Files already
// there would be mixed with the package's, and a later run could not tell
// them apart; so the folder must be new or empty. A folder made here is
// journaled, and goes again when the run fails.
static int MakeExactFolder(void)
{
    MakeTargetFolderAbsolute();
    int made = MakeFreshFolder(TargetFolder);
    if (made < 0)
        return -1;
    if (made == 0 && !IsEmptyFolder(TargetFolder))
        return RecordFailure(IDS_ERR_CREATE_FOLDER, TargetFolder, ERROR_DIR_NOT_EMPTY);
    ExtractionFolderMade = 1;
    return 0;
}

int MakeExtractionFolder(void)
{
    int result;
    if ((RunSwitches.given & (SWITCH_EXTRACT_ONLY | SWITCH_FOLDER)) == (SWITCH_EXTRACT_ONLY | SWITCH_FOLDER))
        result = MakeExactFolder();
    else
        result = MakeUniqueSubfolder();
    if (result == 0)
        LogLine("folder", TargetFolder);
    return result;
}

int MakeUniqueSubfolder(void)
{
    return MakeUniqueSubfolderWithSeed((uint32_t)(uintptr_t)ModuleInstance);
}
