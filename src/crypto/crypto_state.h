// Process-wide state of archive encryption. The password check writes it on
// the GUI thread before the extraction thread exists; from then on only the
// extraction thread touches it, so it needs no lock.
#pragma once
#include <stdint.h>

#include "crypto/archive_data.h"
#include "crypto/cipher.h"

// The program's one keyed cipher. Null while the archive is plain. The first
// VerifyPassword allocates it and it is never freed; after a wrong password
// it is all zeros, after the right one it holds the archive key. Non-null
// means ReadArchiveData decrypts.
extern CipherState* ActiveCipher;

// Initial chaining value of every entry's data, from the check block.
// Written by VerifyPassword when the password proves right.
extern uint8_t EntryIvStart[CIPHER_BLOCK_SIZE];

// Running chaining value of ReadArchiveData. Opening an entry restarts it
// from EntryIvStart; the reads of that entry's chunks advance it.
extern uint8_t EntryIv[CIPHER_BLOCK_SIZE];

// The three above as the data source of the stub's archive reader.
extern const ArchiveDataSource ProcessArchiveData;

// Restarts EntryIv at EntryIvStart when a cipher is active. Opening an entry
// through ProcessArchiveData does this already.
void ResetEntryIv(void);

// Puts the three above back to their start: the cipher wiped and given back
// (SysFree), the chaining values zeroed. The stub never calls it; tests and
// host tools that key ActiveCipher do, once they are done with it.
void ResetCryptoState(void);
