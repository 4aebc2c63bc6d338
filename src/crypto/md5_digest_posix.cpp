// MD5 on the host, from libmd.
#include "crypto/md5_digest.h"

#include <md5.h>

#include "crypto/secure_wipe.h"

static_assert(sizeof(MD5_CTX) <= sizeof(Md5Context), "Md5Context too small for MD5_CTX");

static MD5_CTX* Context(Md5Context* context)
{
    return (MD5_CTX*)context->opaque.bytes;
}

int Md5Begin(Md5Context* context)
{
    MD5Init(Context(context));
    return 0;
}

void Md5Feed(Md5Context* context, const uint8_t* data, uint32_t length)
{
    MD5Update(Context(context), data, length);
}

int Md5Finish(Md5Context* context, uint8_t digest[MD5_DIGEST_SIZE])
{
    MD5Final(digest, Context(context));
    SecureWipe(context, sizeof *context);
    return 0;
}
