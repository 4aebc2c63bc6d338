// The record of everything this run created, and its removal at every exit.
#pragma once

// Deletes the delete list's files and every journaled file and folder,
// newest first. Safe to call when nothing was created.
void RunCleanup(void);
