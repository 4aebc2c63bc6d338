// MD5 on Windows, from CryptoAPI (advapi32), present on every version the
// stub runs on.
#include "crypto/md5_digest.h"

#include <windows.h>
#include <wincrypt.h>
#include <string.h>

#include "crypto/secure_wipe.h"

struct CryptoApiHash {
    HCRYPTPROV provider;
    HCRYPTHASH hash;
    int failed;
};

static_assert(sizeof(CryptoApiHash) <= sizeof(Md5Context), "Md5Context too small");

static CryptoApiHash* Context(Md5Context* context)
{
    return (CryptoApiHash*)context->opaque.bytes;
}

int Md5Begin(Md5Context* context)
{
    CryptoApiHash* h = Context(context);
    memset(h, 0, sizeof *h);
    // A verify context needs no key container, so it works for users
    // without a profile and leaves nothing behind.
    if (!CryptAcquireContextA(&h->provider, NULL, NULL, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        return -1;
    if (!CryptCreateHash(h->provider, CALG_MD5, 0, 0, &h->hash)) {
        CryptReleaseContext(h->provider, 0);
        memset(h, 0, sizeof *h);
        return -1;
    }
    return 0;
}

void Md5Feed(Md5Context* context, const uint8_t* data, uint32_t length)
{
    CryptoApiHash* h = Context(context);
    if (!h->failed && !CryptHashData(h->hash, data, length, 0))
        h->failed = 1;
}

int Md5Finish(Md5Context* context, uint8_t digest[MD5_DIGEST_SIZE])
{
    CryptoApiHash* h = Context(context);
    DWORD size = MD5_DIGEST_SIZE;
    int result = 0;
    if (h->failed || !CryptGetHashParam(h->hash, HP_HASHVAL, digest, &size, 0) || size != MD5_DIGEST_SIZE)
        result = -1;
    CryptDestroyHash(h->hash);
    CryptReleaseContext(h->provider, 0);
    SecureWipe(context, sizeof *context);
    if (result != 0)
        memset(digest, 0, MD5_DIGEST_SIZE);
    return result;
}
