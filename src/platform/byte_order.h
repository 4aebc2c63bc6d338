// Little- and big-endian field access for the file formats the stub reads:
// trailer and ZIP fields are little-endian, the cipher's blocks big-endian.
#pragma once
#include <stdint.h>
#include <string.h>

static inline uint16_t ReadU16Le(const uint8_t* p)
{
    return (uint16_t)(p[0] | (p[1] << 8));
}

static inline uint32_t ReadU32Le(const uint8_t* p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

static inline void WriteU32Le(uint8_t* p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

static inline uint32_t ReadU32Be(const uint8_t* p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | (uint32_t)p[3];
}

// On a little-endian machine the store is one swapped word. Written byte by
// byte, the compiler merges two neighbouring calls into a 64-bit value built
// from eight shifted bytes, which cost the cipher's decryption a tenth of its
// speed on x86-64; the swap below compiles to a single bswap.
static inline void WriteU32Be(uint8_t* p, uint32_t v)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    v = (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
    memcpy(p, &v, sizeof v);
#else
    p[0] = (uint8_t)(v >> 24);
    p[1] = (uint8_t)(v >> 16);
    p[2] = (uint8_t)(v >> 8);
    p[3] = (uint8_t)v;
#endif
}
