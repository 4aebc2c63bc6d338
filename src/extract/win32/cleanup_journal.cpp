// The cleanup journal: entries carved from 4 KiB pages that are never
// returned (the process ends soon after the cleanup), and the delete list.
#include "extract/win32/cleanup_journal.h"

#include <windows.h>
#include <string.h>

#include "extract/path_helpers.h"
#include "extract/win32/extract_state.h"
#include "extract/win32/file_calls.h"
#include "startup/win32/config_trailer.h"

#define JOURNAL_PAGE_SIZE 4096
#define DELETE_LIST_WINDOW 2048

struct JournalEntry {
    int kind;
    JournalEntry* next;
    char path[1];   // zero-terminated, stored inline
};

/* The journal: the newest entry, and the page allocator's position and the
   bytes left in its page. Written by the extraction worker when it creates
   something, and emptied by RunCleanup; no lock, see the callers. */
static struct {
    JournalEntry* head;
    BYTE* position;
    DWORD bytesLeft;
} CleanupJournal;

int JournalAdd(int kind, const char* path, int length)
{
    if (length < 0)
        length = lstrlenA(path);
    // kind, next, the path and its zero, with a little spare, rounded so that
    // the next entry's pointer stays aligned on 32- and 64-bit builds alike.
    DWORD size = ((DWORD)offsetof(JournalEntry, path) + (DWORD)length + 1 + 7) & ~(DWORD)(sizeof(void*) - 1);
    if (size > JOURNAL_PAGE_SIZE)
        return -1;
    if (CleanupJournal.bytesLeft < size) {
        BYTE* page = (BYTE*)VirtualAlloc(NULL, JOURNAL_PAGE_SIZE, MEM_COMMIT, PAGE_READWRITE);
        if (page == NULL)
            return -1;
        CleanupJournal.position = page;
        CleanupJournal.bytesLeft = JOURNAL_PAGE_SIZE;
    }
    JournalEntry* entry = (JournalEntry*)CleanupJournal.position;
    CleanupJournal.position += size;
    CleanupJournal.bytesLeft -= size;
    entry->kind = kind;
    CopyMemory(entry->path, path, (SIZE_T)length);
    entry->path[length] = 0;
    entry->next = CleanupJournal.head;
    CleanupJournal.head = entry;
    return 0;
}

// True when path lies below the extraction folder and no folder on the way
// down to its last component is a link or a junction. Such a folder can
// only have been put there after the extraction (by a command, say), and a
// deletion through it would reach outside.
static int StaysInExtractionFolder(const char* path)
{
    int base = lstrlenA(TargetFolder);
    if (base == 0 || memcmp(path, TargetFolder, (size_t)base) != 0 || !IsPathSeparator(path[base]))
        return 0;
    char prefix[MAX_PATH];
    for (int end = base; path[end] != 0; end++) {
        if (!IsPathSeparator(path[end]))
            continue;
        if (end >= MAX_PATH)
            return 0;
        CopyMemory(prefix, path, (SIZE_T)end);
        prefix[end] = 0;
        DWORD attributes = GetPathAttributes(prefix);
        if (attributes == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return 0;
    }
    return 1;
}

void ForgetJournal(void)
{
    CleanupJournal.head = NULL;
}

void KeepExtractedFiles(void)
{
    ForgetJournal();
    SfxSettings.deleteListFile.text = NULL;
}

void RunCleanup(void)
{
    if (SfxSettings.deleteListFile.text != NULL)
        ProcessDeleteList(SfxSettings.deleteListFile.text);
    while (CleanupJournal.head != NULL) {
        // The entry leaves the journal before it is acted on, so a second
        // cleanup (worker after a cancel, then the exit path) skips it.
        JournalEntry* entry = CleanupJournal.head;
        CleanupJournal.head = entry->next;
        // A folder goes only when empty, and a link in its place goes
        // without what it points to; a file is deleted only where it was made.
        if (entry->kind == JOURNAL_FILE && StaysInExtractionFolder(entry->path))
            FileCalls.deleteFile(entry->path);
        else if (entry->kind == JOURNAL_FOLDER)
            FileCalls.removeDirectory(entry->path);
    }
}

// Joins a name from the package to TargetFolder in path and maps the joined
// part; 0, or -1 for a name that could reach outside the extraction folder
// (a "..", a drive, a stream, a device, a UNC start) or does not fit.
static int BuildListedPath(char path[MAX_PATH], const char* name)
{
    if (IsPathSeparator(name[0]) && IsPathSeparator(name[1]))
        return -1;
    lstrcpyA(path, TargetFolder);
    char* joined = PathJoin(path, MAX_PATH, name);
    if (joined == NULL || MapNameToAnsi(joined) != 0 || IsUnsafeEntryName(joined))
        return -1;
    return StaysInExtractionFolder(path) ? 0 : -1;
}

static void DeleteListedFile(char* line, DWORD length)
{
    while (length > 0 && (line[length - 1] == ' ' || line[length - 1] == '\r'))
        length--;
    if (length == 0)
        return;
    line[length] = 0;
    char path[MAX_PATH];
    if (BuildListedPath(path, line) == 0)
        FileCalls.deleteFile(path);
}

static int IsBlank(char c)
{
    return c == ' ' || c == '\r' || c == '\n';
}

void ProcessDeleteList(const char* name)
{
    // Until this run has made the extraction folder, TargetFolder names a
    // folder of the user's (the temporary folder, a shared one): a list of
    // that name there is none of this package's, and nothing it names may go.
    if (!ExtractionFolderMade)
        return;
    char path[MAX_PATH];
    if (BuildListedPath(path, name) != 0)
        return;
    HANDLE file = FileCalls.createFile(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;

    char window[DELETE_LIST_WINDOW + 1];   // one more for a line's terminating zero
    DWORD held = 0;
    int endOfFile = 0;
    int skippingLongLine = 0;
    for (;;) {
        // Fill the window up whenever a line is still open in it; reading
        // only in whole kilobytes would stall on a line of more than 1 KiB.
        DWORD want = DELETE_LIST_WINDOW - held;
        if (!endOfFile) {
            DWORD got = 0;
            if (!FileCalls.readFile(file, window + held, want, &got, NULL))
                got = 0;
            if (got < want)
                endOfFile = 1;
            held += got;
        }
        DWORD start = 0;
        for (;;) {
            if (!skippingLongLine)
                while (start < held && IsBlank(window[start]))
                    start++;
            DWORD lf = start;
            while (lf < held && window[lf] != '\n')
                lf++;
            if (lf == held)
                break;
            if (!skippingLongLine)
                DeleteListedFile(window + start, lf - start);
            skippingLongLine = 0;
            start = lf + 1;
        }
        MoveMemory(window, window + start, held - start);
        held -= start;
        // A line that fills the whole window can never be used: drop what
        // is held of it and skip to its end, so the reading never stalls.
        if (held == DELETE_LIST_WINDOW) {
            held = 0;
            skippingLongLine = 1;
        }
        if (endOfFile)
            break;
    }
    FileCalls.closeHandle(file);
}
