// The cleanup journal: entries carved from 4 KiB pages that are never
// returned (the process ends soon after the cleanup), and the delete list.
#include "cleanup_journal.h"

#include <windows.h>

#include "../startup/config_trailer.h"
#include "path_helpers.h"
#include "target_folder.h"

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

void RunCleanup(void)
{
    if (SfxSettings.deleteListFile.text != NULL)
        ProcessDeleteList(SfxSettings.deleteListFile.text);
    while (CleanupJournal.head != NULL) {
        // The entry leaves the journal before it is acted on, so a second
        // cleanup (worker after a cancel, then the exit path) skips it.
        JournalEntry* entry = CleanupJournal.head;
        CleanupJournal.head = entry->next;
        if (entry->kind == JOURNAL_FILE)
            DeleteFileA(entry->path);
        else if (entry->kind == JOURNAL_FOLDER)
            RemoveDirectoryA(entry->path);
    }
}

// Joins name to TargetFolder in path and maps the joined part; 0 or -1.
static int BuildListedPath(char path[MAX_PATH], const char* name)
{
    lstrcpyA(path, TargetFolder);
    char* joined = PathJoin(path, MAX_PATH, name);
    if (joined == NULL)
        return -1;
    return MapNameToAnsi(joined);
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
        DeleteFileA(path);
}

static int IsBlank(char c)
{
    return c == ' ' || c == '\r' || c == '\n';
}

void ProcessDeleteList(const char* name)
{
    // Before the target folder is known the list has nothing to be relative
    // to; resolving it against the current folder could delete foreign files.
    if (TargetFolder[0] == 0)
        return;
    char path[MAX_PATH];
    if (BuildListedPath(path, name) != 0)
        return;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
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
            if (!ReadFile(file, window + held, want, &got, NULL))
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
    CloseHandle(file);
}
