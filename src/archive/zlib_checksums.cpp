// The two checksums zlib's inflater links to, defined by the stub itself.
// This object is part of the stub's link, so the linker never takes zlib's
// own checksum members: 9 KB in the 32-bit stub, 5 KB of it stored CRC
// tables, and more in the 64-bit one. Raw inflate, the only kind the stub
// does, never calls adler32; crc32 serves the entry reader.
#include <zlib.h>

#include "crc32.h"

#define ADLER32_MODULUS 65521u

uLong ZEXPORT crc32(uLong crc, const Bytef* buf, uInt len)
{
    if (buf == Z_NULL)
        return 0;
    return Crc32Update((uint32_t)crc, buf, len);
}

uLong ZEXPORT adler32(uLong adler, const Bytef* buf, uInt len)
{
    if (buf == Z_NULL)
        return 1;
    uint32_t a = (uint32_t)adler & 0xFFFF;
    uint32_t b = ((uint32_t)adler >> 16) & 0xFFFF;
    while (len-- > 0) {
        a = (a + *buf++) % ADLER32_MODULUS;
        b = (b + a) % ADLER32_MODULUS;
    }
    return ((uLong)b << 16) | a;
}
