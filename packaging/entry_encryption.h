// The writing side of archive encryption: the cipher header that lets the
// stub check a password and recover the archive key, and the encryption of
// each entry's stored data under that key.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "packaging/trailer_writer.h"

struct CipherState;

namespace packaging {

constexpr std::size_t kSaltSize = 6;
constexpr std::size_t kChainSize = 8;
constexpr std::size_t kArchiveKeySize = 16;
constexpr std::size_t kCipherBlockSize = 8;
// The stub's password page passes at most this many bytes, so a longer
// password could never be typed in.
constexpr std::size_t kMaxPasswordLength = 126;

// The secret and random parts of one encrypted archive. Wiped when destroyed.
struct ArchiveSecrets {
    std::array<std::uint8_t, kSaltSize> salt{};          // salt of the password key
    std::array<std::uint8_t, kChainSize> headerChain{};  // chaining value of the check block
    std::array<std::uint8_t, kArchiveKeySize> archiveKey{};
    std::array<std::uint8_t, kChainSize> entryIvStart{};  // where every entry's chain starts

    ~ArchiveSecrets();
};

// Every field drawn from the system's cryptographic random source.
ArchiveSecrets drawArchiveSecrets();

// The 52-byte cipher header record (trailer record 14) for this password,
// ready for TrailerBuilder::cipherHeader. The password is the bytes the user
// will type, in the stub's ANSI code page. Throws FormatError for a password
// longer than kMaxPasswordLength.
Bytes makeCipherHeader(std::string_view password, const ArchiveSecrets& secrets);

// CBC encryption that CipherDecryptCbc undoes, in place. `length` must be a
// whole number of blocks (std::invalid_argument otherwise); `chain` ends as
// the last ciphertext block, so a stream may be encrypted in several calls.
void cipherEncryptCbc(const CipherState& state, std::uint8_t* data, std::size_t length,
                      std::uint8_t chain[kChainSize]);

// What an entry's compressed size becomes once encrypted: rounded up to whole blocks.
std::size_t encryptedSize(std::size_t compressedSize);

// Encrypts entries under the archive key; keys the cipher once.
class EntryEncryptor {
  public:
    explicit EntryEncryptor(const ArchiveSecrets& secrets);
    ~EntryEncryptor();
    EntryEncryptor(const EntryEncryptor&) = delete;
    EntryEncryptor& operator=(const EntryEncryptor&) = delete;

    // The stored data of one entry: its compressed data, zero fill bytes up
    // to whole blocks, all CBC-encrypted from entryIvStart. The result's size
    // is the compressed size the archive directory must record.
    Bytes encryptEntry(const Bytes& compressed) const;

    // The same, piece by piece, for entries too large to hold at once: start
    // a chain per entry, then pass whole blocks in order, the fill bytes of
    // the last one included.
    void startChain(std::uint8_t chain[kChainSize]) const;
    void encryptBlocks(std::uint8_t* data, std::size_t length, std::uint8_t chain[kChainSize]) const;

  private:
    std::unique_ptr<CipherState> state_;
    std::array<std::uint8_t, kChainSize> entryIvStart_{};
};

}  // namespace packaging
