// MD5 (RFC 1321) taken from the platform rather than written here: CryptoAPI
// on Windows, libmd on the host. The password key derivation is its user.
#pragma once
#include <stdint.h>

#define MD5_DIGEST_SIZE 16

// Room for the platform's own context (libmd's MD5_CTX, or CryptoAPI's
// provider and hash handles). Its content is the platform file's business.
struct Md5Context {
    union {
        uint64_t align;
        uint8_t bytes[128];
    } opaque;
};

// Begin returns 0, or -1 when the platform cannot hash (nothing to finish
// then). After a successful Begin, Finish must be called: it releases what
// Begin acquired and wipes the context, and returns -1 when any step failed,
// in which case the digest is zeros.
int Md5Begin(Md5Context* context);
void Md5Feed(Md5Context* context, const uint8_t* data, uint32_t length);
int Md5Finish(Md5Context* context, uint8_t digest[MD5_DIGEST_SIZE]);
