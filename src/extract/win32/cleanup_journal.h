// The record of everything this run created, and its removal at every exit:
// first the files a delete list names, then every journaled file and
// folder, newest first.
#pragma once

#define JOURNAL_FILE   1
#define JOURNAL_FOLDER 2

// Records a created file or folder; a negative length means "measure path".
// Returns 0, or -1 when no memory page could be had (the journal is unchanged).
int JournalAdd(int kind, const char* path, int length);

// Deletes the delete list's files and every journaled entry. Safe to call
// more than once: the journal is emptied as it is worked through.
void RunCleanup(void);

// Leaves every file of the run where it is, also those the delete list
// names: what an extraction-only run (/X) made is the user's now.
void KeepExtractedFiles(void);

// Empties the journal without acting on it; for ResetStubState. The pages
// already taken stay with the process.
void ForgetJournal(void);

// Deletes the files named by the delete list name, relative to TargetFolder.
void ProcessDeleteList(const char* name);
