// Reading entry data from the package file, decrypting while the source has
// a keyed cipher.
#include "crypto/archive_data.h"

#include <stddef.h>
#include <string.h>

#define WHOLE_BLOCKS(n) ((n) & ~(uint32_t)(CIPHER_BLOCK_SIZE - 1))

// The keyed cipher of the source, or null when its data are plain.
static const CipherState* KeyedCipher(const ArchiveDataSource* source)
{
    if (source == NULL || source->cipher == NULL)
        return NULL;
    return *source->cipher;
}

int ReadArchiveData(const ArchiveDataSource* source, SysFile file, void* buffer, uint32_t count, uint32_t* got)
{
    if (got == NULL)
        return 0;
    const CipherState* cipher = KeyedCipher(source);
    if (cipher == NULL)
        return SysFileRead(file, buffer, count, got) == 0;

    if (SysFileRead(file, buffer, WHOLE_BLOCKS(count), got) != 0)
        return 0;
    CipherDecryptCbc(cipher, (uint8_t*)buffer, (const uint8_t*)buffer, source->entryIv, WHOLE_BLOCKS(*got));
    return 1;
}

void RestartEntryChain(const ArchiveDataSource* source)
{
    if (KeyedCipher(source) != NULL)
        memcpy(source->entryIv, source->entryIvStart, CIPHER_BLOCK_SIZE);
}

int CheckEntryDataSize(const ArchiveDataSource* source, uint32_t compressedSize)
{
    if (KeyedCipher(source) != NULL && compressedSize % CIPHER_BLOCK_SIZE != 0)
        return -1;
    return 0;
}

uint32_t EntryFillAllowance(const ArchiveDataSource* source)
{
    return KeyedCipher(source) != NULL ? CIPHER_BLOCK_SIZE - 1 : 0;
}
