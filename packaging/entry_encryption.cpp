// Building cipher headers and encrypting entry data for packages.
#include "packaging/entry_encryption.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

#include "crypto/cipher.h"
#include "crypto/password_check.h"
#include "crypto/secure_wipe.h"
#include "packaging/system_random.h"

namespace packaging {

static_assert(kSaltSize == CIPHER_HEADER_SALT_SIZE && kArchiveKeySize == ARCHIVE_KEY_SIZE
                  && kChainSize == CIPHER_BLOCK_SIZE && kCipherHeaderSize == CIPHER_HEADER_SIZE
                  && kMaxPasswordLength == PASSWORD_MAX_LENGTH,
              "the writer and the stub must agree on the header's layout");

ArchiveSecrets::~ArchiveSecrets()
{
    SecureWipe(salt.data(), salt.size());
    SecureWipe(headerChain.data(), headerChain.size());
    SecureWipe(archiveKey.data(), archiveKey.size());
    SecureWipe(entryIvStart.data(), entryIvStart.size());
}

ArchiveSecrets drawArchiveSecrets()
{
    ArchiveSecrets secrets;
    systemRandomFill(secrets.salt.data(), secrets.salt.size());
    systemRandomFill(secrets.headerChain.data(), secrets.headerChain.size());
    systemRandomFill(secrets.archiveKey.data(), secrets.archiveKey.size());
    systemRandomFill(secrets.entryIvStart.data(), secrets.entryIvStart.size());
    return secrets;
}

namespace {

// A keyed cipher state that is wiped however the scope is left.
class KeyedCipher {
  public:
    KeyedCipher(const std::uint8_t* key, std::size_t length) : state_(new CipherState())
    {
        if (CipherSetKey(state_.get(), key, static_cast<std::uint32_t>(length), CIPHER_KEY_PASSES) != CIPHER_OK)
            throw std::runtime_error("the archive cipher failed its self-test");
    }
    ~KeyedCipher()
    {
        if (state_)
            SecureWipe(state_.get(), sizeof(CipherState));
    }
    const CipherState& get() const { return *state_; }
    std::unique_ptr<CipherState> release() { return std::move(state_); }

  private:
    std::unique_ptr<CipherState> state_;
};

}  // namespace

Bytes makeCipherHeader(std::string_view password, const ArchiveSecrets& secrets)
{
    if (password.size() > kMaxPasswordLength)
        throw FormatError("a password is at most " + std::to_string(kMaxPasswordLength) + " bytes");

    std::uint8_t passwordKey[PASSWORD_KEY_SIZE];
    if (DerivePasswordKey(passwordKey, secrets.salt.data(), reinterpret_cast<const std::uint8_t*>(password.data()),
                          static_cast<std::uint32_t>(password.size()))
        != 0) {
        SecureWipe(passwordKey, sizeof passwordKey);
        throw std::runtime_error("MD5 is not available");
    }
    std::uint8_t check[CHECK_BLOCK_SIZE];
    std::memcpy(check + CHECK_BLOCK_ARCHIVE_KEY, secrets.archiveKey.data(), ARCHIVE_KEY_SIZE);
    std::memcpy(check + CHECK_BLOCK_ENTRY_IV, secrets.entryIvStart.data(), kChainSize);
    ComputeCheckValue(check + CHECK_BLOCK_CHECK_VALUE, check);

    Bytes header(kCipherHeaderSize, 0);
    header[0] = static_cast<std::uint8_t>(kCipherHeaderSize);
    header[2] = static_cast<std::uint8_t>(kCipherHeaderRecord);
    std::memcpy(header.data() + CIPHER_HEADER_SALT, secrets.salt.data(), kSaltSize);
    std::memcpy(header.data() + CIPHER_HEADER_CHAIN, secrets.headerChain.data(), kChainSize);
    try {
        KeyedCipher cipher(passwordKey, sizeof passwordKey);
        std::uint8_t chain[kChainSize];
        std::memcpy(chain, secrets.headerChain.data(), kChainSize);
        cipherEncryptCbc(cipher.get(), check, sizeof check, chain);
    } catch (...) {
        SecureWipe(passwordKey, sizeof passwordKey);
        SecureWipe(check, sizeof check);
        throw;
    }
    std::memcpy(header.data() + CIPHER_HEADER_CHECK_BLOCK, check, sizeof check);
    SecureWipe(passwordKey, sizeof passwordKey);
    SecureWipe(check, sizeof check);
    return header;
}

void cipherEncryptCbc(const CipherState& state, std::uint8_t* data, std::size_t length,
                      std::uint8_t chain[kChainSize])
{
    if (length % kCipherBlockSize != 0)
        throw std::invalid_argument("CBC encryption takes whole blocks");
    for (std::size_t done = 0; done < length; done += kCipherBlockSize) {
        std::uint8_t* block = data + done;
        for (std::size_t i = 0; i < kCipherBlockSize; i++)
            block[i] ^= chain[i];
        CipherEncryptBlock(&state, block, block);
        std::memcpy(chain, block, kCipherBlockSize);
    }
}

std::size_t encryptedSize(std::size_t compressedSize)
{
    return (compressedSize + kCipherBlockSize - 1) / kCipherBlockSize * kCipherBlockSize;
}

EntryEncryptor::EntryEncryptor(const ArchiveSecrets& secrets) : entryIvStart_(secrets.entryIvStart)
{
    state_ = KeyedCipher(secrets.archiveKey.data(), secrets.archiveKey.size()).release();
}

EntryEncryptor::~EntryEncryptor()
{
    SecureWipe(state_.get(), sizeof(CipherState));
    SecureWipe(entryIvStart_.data(), entryIvStart_.size());
}

Bytes EntryEncryptor::encryptEntry(const Bytes& compressed) const
{
    // The fill bytes are never looked at by the reader: inflation stops at
    // the end of the deflate stream, stored data at the uncompressed size.
    Bytes stored(compressed);
    stored.resize(encryptedSize(compressed.size()), 0);
    std::uint8_t chain[kChainSize];
    std::memcpy(chain, entryIvStart_.data(), kChainSize);
    cipherEncryptCbc(*state_, stored.data(), stored.size(), chain);
    return stored;
}

void EntryEncryptor::startChain(std::uint8_t chain[kChainSize]) const
{
    std::memcpy(chain, entryIvStart_.data(), kChainSize);
}

void EntryEncryptor::encryptBlocks(std::uint8_t* data, std::size_t length, std::uint8_t chain[kChainSize]) const
{
    cipherEncryptCbc(*state_, data, length, chain);
}

}  // namespace packaging
