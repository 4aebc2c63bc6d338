// Process-wide state of archive encryption. The password check writes it on
// the GUI thread before the extraction thread exists; from then on only the
// extraction thread touches it, so it needs no lock.
#pragma once
#include <stdint.h>

#include "crypto/cipher.h"

// The program's one keyed cipher. Null while the archive is plain. The first
// VerifyPassword allocates it and it is never freed; after a wrong password
// it is all zeros, after the right one it holds the archive key. Non-null
// means ReadArchiveData decrypts.
extern CipherState* ActiveCipher;

// Initial chaining value of every entry's data, from the check block.
// Written by VerifyPassword when the password proves right.
extern uint8_t EntryIvStart[CIPHER_BLOCK_SIZE];

// Running chaining value of ReadArchiveData. The extraction worker resets it
// from EntryIvStart (ResetEntryIv) before it opens each entry; the reads of
// that entry's chunks advance it.
extern uint8_t EntryIv[CIPHER_BLOCK_SIZE];
