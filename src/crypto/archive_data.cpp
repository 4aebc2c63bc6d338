// Reading entry data from the package file, decrypting while a cipher is
// active.
#include "crypto/archive_data.h"

#include <stddef.h>

#include "crypto/cipher.h"
#include "crypto/crypto_state.h"

#define WHOLE_BLOCKS(n) ((n) & ~(uint32_t)(CIPHER_BLOCK_SIZE - 1))

int ReadArchiveData(SysFile file, void* buffer, uint32_t count, uint32_t* got)
{
    if (got == NULL)
        return 0;
    if (ActiveCipher == NULL)
        return SysFileRead(file, buffer, count, got) == 0;

    if (SysFileRead(file, buffer, WHOLE_BLOCKS(count), got) != 0)
        return 0;
    CipherDecryptCbc(ActiveCipher, (uint8_t*)buffer, (const uint8_t*)buffer, EntryIv, WHOLE_BLOCKS(*got));
    return 1;
}

int CheckEntryDataSize(uint32_t compressedSize)
{
    if (ActiveCipher != NULL && compressedSize % CIPHER_BLOCK_SIZE != 0)
        return -1;
    return 0;
}

uint32_t EntryFillAllowance(void)
{
    return ActiveCipher != NULL ? CIPHER_BLOCK_SIZE - 1 : 0;
}
