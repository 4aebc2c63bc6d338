// The extraction worker. Every failure is fatal: the fatal path deletes what
// was journaled and ends the process.
#include "extract/win32/extraction_worker.h"

#include <commctrl.h>

#include "archive/entry_reader.h"
#include "crypto/crypto_state.h"
#include "extract/path_helpers.h"
#include "extract/win32/cleanup_journal.h"
#include "extract/win32/file_calls.h"
#include "extract/win32/target_folder.h"
#include "extract/win32/utf8_names.h"
#include "resource_ids.h"
#include "startup/win32/config_trailer.h"
#include "startup/win32/fatal_error.h"
#include "startup/win32/startup_state.h"
#include "startup/win32/ui_texts.h"
#include "startup/win32/unattended_run.h"
#include "wizard/frame_link.h"

uint64_t ProgressDivisorFor(uint64_t total)
{
    uint64_t divisor = 1;
    while (total / divisor > PROGRESS_RANGE_MAX)
        divisor *= 2;
    return divisor;
}

static int Fail(uint32_t messageId)
{
    return RecordFailure(messageId, NULL, 0);
}

static HANDLE CreateOutputFile(const char* path)
{
    return FileCalls.createFile(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
}

static int IsBadHandle(HANDLE file)
{
    return file == NULL || file == INVALID_HANDLE_VALUE;
}

static void SetFileTimeFromDos(HANDLE file, uint32_t dosDateTime)
{
    FILETIME local;
    FILETIME utc;
    DosDateTimeToFileTime((WORD)(dosDateTime >> 16), (WORD)dosDateTime, &local);
    LocalFileTimeToFileTime(&local, &utc);
    FileCalls.setFileTime(file, NULL, NULL, &utc);
}

// Pulls the open entry's data into file (at path); 0 or -1 with LastErrorId set.
static int CopyEntryData(ArchiveReader* reader, HANDLE file, const char* path)
{
    for (;;) {
        int32_t n = EntryRead(reader, OutputBuffer, OUTPUT_BUFFER_SIZE);
        if (n < 0)
            return Fail(IDS_ERR_READ_ARCHIVE);
        if (n == 0)
            return 0;
        DWORD written = 0;
        if (!FileCalls.writeFile(file, OutputBuffer, (DWORD)n, &written, NULL))
            return RecordFailure(IDS_ERR_WRITE_FILE, path, GetLastError());
        if (written != (DWORD)n)
            return RecordFailure(IDS_ERR_WRITE_FILE, path, ERROR_DISK_FULL);
        BytesDone += (uint32_t)n;
        SendMessageA(ProgressBar, PBM_SETPOS, (WPARAM)(BytesDone / ProgressDivisor), 0);
    }
}

int EntryNameToAnsi(const ArchiveEntryInfo* info, const char* name, char out[ENTRY_NAME_SIZE])
{
    if (info->flagBits & ZIP_FLAG_UTF8_NAME)
        return ConvertUtf8Name(name, out, ENTRY_NAME_SIZE);
    if (lstrlenA(name) >= ENTRY_NAME_SIZE)
        return -1;
    lstrcpyA(out, name);
    return MapNameToAnsi(out);
}

// The entry's full path in the extraction folder, refused before anything
// is created: a name that cannot be converted, a cut path (it would name
// another file), and an unsafe name (it would lead outside the extraction
// folder or open a device). The check sees the name as Windows will.
// 0, or -1 with the failure recorded under the entry's name.
static int BuildEntryPath(char path[ENTRY_PATH_SIZE], const ArchiveEntryInfo* info, const char* name)
{
    char ansiName[ENTRY_NAME_SIZE];
    if (EntryNameToAnsi(info, name, ansiName) != 0)
        return RecordFailure(IDS_ERR_CREATE_FILE, name, ERROR_NO_UNICODE_TRANSLATION);
    lstrcpyA(path, TargetFolder);
    char* joined = PathJoin(path, MAX_PATH, ansiName);
    // A path longer than the system's limit is named as the archive gives
    // it: the extraction folder in front is what made it too long.
    if (joined == NULL)
        return RecordFailure(IDS_ERR_CREATE_FILE, ansiName, ERROR_FILENAME_EXCED_RANGE);
    if (IsUnsafeEntryName(joined))
        return RecordFailure(IDS_ERR_CREATE_FILE, ansiName, ERROR_INVALID_NAME);
    return 0;
}

int ExtractEntry(ArchiveReader* reader, const ArchiveEntryInfo* info, const char* name)
{
    int nameLength = lstrlenA(name);
    if (nameLength == 0 || IsPathSeparator(name[nameLength - 1]))
        return 0;
    if (OutputBuffer == NULL) {
        OutputBuffer = (uint8_t*)VirtualAlloc(NULL, OUTPUT_BUFFER_SIZE, MEM_COMMIT, PAGE_READWRITE);
        if (OutputBuffer == NULL)
            return Fail(IDS_ERR_NO_MEMORY);
    }
    char path[ENTRY_PATH_SIZE];
    if (BuildEntryPath(path, info, name) != 0)
        return -1;
    // An LZMA entry's dictionary is had at the open: a package whose
    // dictionary this machine cannot hold is not a damaged one.
    int opened = EntryOpen(reader);
    if (opened == ARCHIVE_NO_MEMORY)
        return Fail(IDS_ERR_NO_MEMORY);
    if (opened != ARCHIVE_OK)
        return Fail(IDS_ERR_READ_ARCHIVE);
    HANDLE file = CreateOutputFile(path);
    if (IsBadHandle(file)) {
        if (GetLastError() != ERROR_PATH_NOT_FOUND)
            return RecordFailure(IDS_ERR_CREATE_FILE, path, GetLastError());
        if (CreateParentDirectories(path) != 0)
            return -1;
        file = CreateOutputFile(path);
        if (IsBadHandle(file))
            return RecordFailure(IDS_ERR_CREATE_FILE, path, GetLastError());
    }
    if (JournalAdd(JOURNAL_FILE, path, -1) != 0) {
        FileCalls.closeHandle(file);
        FileCalls.deleteFile(path);
        return Fail(IDS_ERR_NO_MEMORY);
    }
    if (CopyEntryData(reader, file, path) != 0) {
        FileCalls.closeHandle(file);
        return -1;
    }
    SetFileTimeFromDos(file, info->dosDateTime);
    // Some file systems (network shares among them) report a failed write
    // only when the file is closed.
    if (!FileCalls.closeHandle(file))
        return RecordFailure(IDS_ERR_WRITE_FILE, path, GetLastError());
    // A fully read entry whose data do not match their CRC is damaged; it
    // must not be left behind as if it were good.
    if (EntryClose(reader) == ARCHIVE_CRC_MISMATCH)
        return Fail(IDS_ERR_READ_ARCHIVE);
    return 0;
}

// Moves to entry i and reads its header; a fatal message when that fails.
static void ReadEntryHeader(ArchiveReader* reader, uint32_t i, ArchiveEntryInfo* info, char* name)
{
    if (i == 0)
        ArchiveFirstEntry(reader);
    else
        ArchiveNextEntry(reader);
    int result = ArchiveGetEntryInfo(reader, info, name, ENTRY_NAME_SIZE, NULL, 0, NULL, 0);
    // A name too long for the buffer is refused, never cut.
    if (result == ARCHIVE_BAD_PARAMETER)
        ShowFatalError(IDS_ERR_CREATE_FILE);
    if (result != ARCHIVE_OK)
        ShowFatalError(IDS_ERR_CORRUPT);
}

static void PrepareProgress(ArchiveReader* reader, uint32_t entryCount)
{
    ArchiveEntryInfo info;
    char name[ENTRY_NAME_SIZE];
    BytesTotal = 0;
    for (uint32_t i = 0; i < entryCount; i++) {
        ReadEntryHeader(reader, i, &info, name);
        BytesTotal += info.uncompressedSize;
    }
    ProgressDivisor = ProgressDivisorFor(BytesTotal);
    ProgressBar = GetDlgItem(ProgressPageWindow, IDC_PROGRESS_BAR);
    SendMessageA(ProgressBar, PBM_SETRANGE, 0, MAKELPARAM(0, (WORD)(BytesTotal / ProgressDivisor)));
    SendMessageA(ProgressBar, PBM_SETPOS, 0, 0);
    SetItemText(ProgressPageWindow, IDC_PROGRESS_STATUS, IDS_EXTRACTING_FILE);
}

// The progress page's file line: an OEM name as the archive holds it, a
// UTF-8 one as it will be written.
static void ShowEntryName(const ArchiveEntryInfo* info, const char* name)
{
    char converted[ENTRY_NAME_SIZE];
    if ((info->flagBits & ZIP_FLAG_UTF8_NAME) && ConvertUtf8Name(name, converted, sizeof converted) == 0)
        name = converted;
    SetDlgItemTextA(ProgressPageWindow, IDC_PROGRESS_FILE, PathFileNamePart(name));
}

DWORD WINAPI ExtractionWorker(LPVOID)
{
    if (MakeExtractionFolder() != 0)
        ShowFatalError(LastErrorId);
    ArchiveReader* reader = ArchiveOpen(ModuleFile, SfxSettings.archiveOffset, SfxSettings.archiveSize, &ProcessArchiveData);
    uint32_t entryCount = 0;
    if (reader == NULL || ArchiveGetInfo(reader, &entryCount, NULL) != ARCHIVE_OK)
        ShowFatalError(IDS_ERR_CORRUPT);
    PrepareProgress(reader, entryCount);

    BytesDone = 0;
    ArchiveEntryInfo info;
    char name[ENTRY_NAME_SIZE];
    for (uint32_t i = 0; i < entryCount; i++) {
        ReadEntryHeader(reader, i, &info, name);
        ShowEntryName(&info, name);
        if (ExtractEntry(reader, &info, name) != 0)
            ShowFatalError(LastErrorId);
        if (CancelRequested)
            break;
    }
    if (CancelRequested)
        RunCleanup();
    else if (RunSwitches.given & SWITCH_EXTRACT_ONLY)
        KeepExtractedFiles();
    WorkerThreadId = 0;
    PostMessageA(FrameWindow, WM_COMMAND, CancelRequested ? IDC_CANCEL : IDC_NEXT, 0);
    return 0;
}
