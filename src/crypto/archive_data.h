// The one read through which all compressed entry data pass, and the source
// it reads for: where the archive's cipher and its chaining values are kept.
// Without a cipher it is a plain read; with one, the data are decrypted on
// the way.
#pragma once
#include <stdint.h>

#include "crypto/cipher.h"
#include "platform/sys_file.h"

// Where a reader of one archive finds its cipher and its chaining values.
// The stub points one at its process-wide state (ProcessArchiveData in
// crypto_state.h); a host tool keeps one per package it has open, so that
// two packages never share a key or a chain. The record only points: the
// storage is its owner's, and the cipher may be keyed after the archive is
// opened, as long as it is keyed before an entry is.
struct ArchiveDataSource {
    CipherState* const* cipher;  // *cipher: the keyed cipher, or null while the data are plain
    const uint8_t* entryIvStart; // CIPHER_BLOCK_SIZE bytes: every entry's first chaining value
    uint8_t* entryIv;            // CIPHER_BLOCK_SIZE bytes: the running chaining value
};

// Same contract as a synchronous ReadFile: nonzero on success, 0 on failure;
// *got receives the number of bytes read. A null source, or one without a
// keyed cipher, reads plainly. With a cipher only the whole 8-byte blocks of
// count are read, and the whole blocks that arrived are decrypted in place,
// continuing the chain in source->entryIv. *got is what the file gave; bytes
// of a partial last block (a truncated file) stay as read.
int ReadArchiveData(const ArchiveDataSource* source, SysFile file, void* buffer, uint32_t count, uint32_t* got);

// Restarts the chain at the entry's first chaining value when a cipher is
// keyed; the entry reader does it whenever it opens an entry.
void RestartEntryChain(const ArchiveDataSource* source);

// Encrypted entry data come in whole cipher blocks. 0 when an entry of this
// compressed size can be read, -1 when a cipher is keyed and the size is not
// a multiple of 8: the archive is damaged, and the entry reader refuses to
// open the entry.
int CheckEntryDataSize(const ArchiveDataSource* source, uint32_t compressedSize);

// Bytes that may follow the end of an entry's deflate stream inside its
// compressed size: the fill up to a whole cipher block when a cipher is
// keyed (at most 7), none in a plain archive.
uint32_t EntryFillAllowance(const ArchiveDataSource* source);
