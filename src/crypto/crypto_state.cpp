// Definitions of the process-wide encryption state; crypto_state.h says who
// writes what and when.
#include "crypto/crypto_state.h"

CipherState* ActiveCipher;
uint8_t EntryIvStart[CIPHER_BLOCK_SIZE];
uint8_t EntryIv[CIPHER_BLOCK_SIZE];

const ArchiveDataSource ProcessArchiveData = {&ActiveCipher, EntryIvStart, EntryIv};

void ResetEntryIv(void)
{
    RestartEntryChain(&ProcessArchiveData);
}
