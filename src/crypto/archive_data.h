// The one read through which all compressed entry data pass. While no cipher
// is active it is a plain read; with one, the data are decrypted on the way.
#pragma once
#include <stdint.h>

#include "platform/sys_file.h"

// Same contract as a synchronous ReadFile: nonzero on success, 0 on failure;
// *got receives the number of bytes read. With ActiveCipher set, only the
// whole 8-byte blocks of count are read, and the whole blocks that arrived
// are decrypted in place, continuing the chain in EntryIv. *got is what the
// file gave; bytes of a partial last block (a truncated file) stay as read.
int ReadArchiveData(SysFile file, void* buffer, uint32_t count, uint32_t* got);

// Encrypted entry data come in whole cipher blocks. 0 when an entry of this
// compressed size can be read, -1 when a cipher is active and the size is not
// a multiple of 8: the archive is damaged, and the entry reader refuses to
// open the entry.
int CheckEntryDataSize(uint32_t compressedSize);

// Bytes that may follow the end of an entry's deflate stream inside its
// compressed size: the fill up to a whole cipher block when a cipher is
// active (at most 7), none in a plain archive.
uint32_t EntryFillAllowance(void);
