// Definitions of the process-wide encryption state; crypto_state.h says who
// writes what and when.
#include "crypto/crypto_state.h"

#include <stddef.h>

#include "crypto/secure_wipe.h"
#include "platform/sys_file.h"

CipherState* ActiveCipher;
uint8_t EntryIvStart[CIPHER_BLOCK_SIZE];
uint8_t EntryIv[CIPHER_BLOCK_SIZE];

const ArchiveDataSource ProcessArchiveData = {&ActiveCipher, EntryIvStart, EntryIv};

void ResetEntryIv(void)
{
    RestartEntryChain(&ProcessArchiveData);
}

void ResetCryptoState(void)
{
    if (ActiveCipher != NULL) {
        SecureWipe(ActiveCipher, sizeof(CipherState));
        SysFree(ActiveCipher);
        ActiveCipher = NULL;
    }
    SecureWipe(EntryIvStart, sizeof EntryIvStart);
    SecureWipe(EntryIv, sizeof EntryIv);
}
