// The cleanup journal. Nothing is journaled before extraction writes its
// first file, so until then the cleanup has nothing to remove.
#include "cleanup_journal.h"

void RunCleanup(void)
{
}
