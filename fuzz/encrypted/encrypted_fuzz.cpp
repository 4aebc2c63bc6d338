// Fuzz target: encrypted packages. The input is a whole package file; its
// trailer is read, the password check runs with a wrong password and then
// with the one the seed packages were made with, and once that is accepted
// every entry is read through the decrypting read. Packages without a
// cipher header end after the trailer: the archive target covers plain
// archives.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "archive/archive_reader.h"
#include "crypto/crypto_state.h"
#include "crypto/password_check.h"
#include "startup/trailer.h"
#include "support/entry_walk.h"
#include "support/fuzz_input.h"
#include "support/settings_check.h"

// The seed packages' password; fuzz/seeds/make_seeds.cpp uses the same.
static const char FuzzPassword[] = "fuzz";
static const char WrongPassword[] = "not the password";

// The two password checks cost as much as a thousand inputs of entry reads
// (a digest over 64 KiB and key schedules), and most inputs keep the
// cipher header of an input before them. So the verdict on the last header
// checked is kept, with the state the right password keyed: the check runs
// only for a header that differs, and gives the same result each time.
// Written only by CheckPasswords.
static struct {
    int valid;                          // 1 once a header has been checked
    uint8_t header[CIPHER_HEADER_SIZE];
    int accepted;                       // the fuzz password opened it
    CipherState cipher;                 // keyed with the archive key when accepted
    uint8_t entryIvStart[CIPHER_BLOCK_SIZE];
} LastCheck;

static int CheckPassword(SfxSettingsRecord* settings, const char* password)
{
    return VerifyPassword(settings, (const uint8_t*)password, (uint32_t)strlen(password));
}

// VerifyPassword with a wrong password and then the right one, as a user
// might try them: the right one must still work on the state the refusal
// left. A header made for the wrong password is accepted, rightly, and
// counts as not opened here.
static int RunPasswordChecks(SfxSettingsRecord* settings)
{
    if (CheckPassword(settings, WrongPassword) == PASSWORD_ACCEPTED)
        return 0;
    return CheckPassword(settings, FuzzPassword) == PASSWORD_ACCEPTED;
}

// Leaves ActiveCipher keyed and settings accepted when the fuzz password
// opens the header; returns whether it did.
static int CheckPasswords(SfxSettingsRecord* settings)
{
    if (LastCheck.valid && memcmp(LastCheck.header, settings->cipherHeader, CIPHER_HEADER_SIZE) == 0) {
        if (!LastCheck.accepted)
            return 0;
        ActiveCipher = (CipherState*)SysAlloc(sizeof(CipherState));
        FuzzCheck(ActiveCipher != NULL, "no memory for the cipher state");
        memcpy(ActiveCipher, &LastCheck.cipher, sizeof LastCheck.cipher);
        memcpy(EntryIvStart, LastCheck.entryIvStart, sizeof EntryIvStart);
        settings->passwordAccepted = 1;
        return 1;
    }
    memcpy(LastCheck.header, settings->cipherHeader, CIPHER_HEADER_SIZE);
    LastCheck.accepted = RunPasswordChecks(settings);
    LastCheck.valid = 1;
    if (LastCheck.accepted) {
        memcpy(&LastCheck.cipher, ActiveCipher, sizeof LastCheck.cipher);
        memcpy(LastCheck.entryIvStart, EntryIvStart, sizeof LastCheck.entryIvStart);
    }
    return LastCheck.accepted;
}

static void ReadEncryptedPackage(SysFile file)
{
    SfxSettingsRecord settings;
    ResetSettings(&settings);
    const uint8_t* block = NULL;
    uint32_t length = 0;
    if (ReadTrailer(file, LANGUAGE_ENGLISH, &settings, &block, &length) != TRAILER_OK)
        return;
    CheckSettingsTexts(&settings, block, length);
    if (!settings.cipherHeaderPresent || !CheckPasswords(&settings))
        return;
    ArchiveReader* reader = ArchiveOpen(file, settings.archiveOffset, settings.archiveSize, &ProcessArchiveData);
    if (reader != NULL)
        WalkArchive(reader);
}

static void ForgetCipher(void)
{
    // The state itself is freed with the rest of the input's memory.
    ActiveCipher = NULL;
    memset(EntryIvStart, 0, sizeof EntryIvStart);
    memset(EntryIv, 0, sizeof EntryIv);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SysFile file = LoadFuzzInput(data, size);
    ReadEncryptedPackage(file);
    ForgetCipher();
    ReleaseReaderMemory();
    return 0;
}
