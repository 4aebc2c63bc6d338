// The parts of the ZIP format this project reads and writes, in one place
// for the stub's reader, the packer and the tests' writer: signatures, the
// sizes of the fixed records, flag bits, methods. Little-endian throughout.
#pragma once

#define ZIP_LOCAL_HEADER_SIGNATURE 0x04034B50u
#define ZIP_CENTRAL_HEADER_SIGNATURE 0x02014B50u
#define ZIP_END_RECORD_SIGNATURE 0x06054B50u
#define ZIP_DATA_DESCRIPTOR_SIGNATURE 0x08074B50u
#define ZIP64_END_RECORD_SIGNATURE 0x06064B50u
#define ZIP64_END_LOCATOR_SIGNATURE 0x07064B50u

#define ZIP_LOCAL_HEADER_SIZE 30       // fixed parts, signatures included
#define ZIP_CENTRAL_HEADER_SIZE 46
#define ZIP_END_RECORD_SIZE 22
#define ZIP64_END_LOCATOR_SIZE 20
#define ZIP64_END_RECORD_SIZE 56

/* General purpose flag bits. */
#define ZIP_FLAG_ENCRYPTED 0x0001u
#define ZIP_FLAG_LZMA_END_MARKER 0x0002u   // an LZMA entry's stream ends in an end marker
#define ZIP_FLAG_DATA_DESCRIPTOR 0x0008u   // CRC and sizes follow the data
#define ZIP_FLAG_UTF8_NAME 0x0800u         // the name is UTF-8, not OEM code page bytes

#define ZIP_METHOD_STORED 0
#define ZIP_METHOD_DEFLATED 8
#define ZIP_METHOD_LZMA 14

/* LZMA entries begin with a header of their own: the LZMA SDK version (2
   bytes, ignored), the size of the properties (u16, always 5), then the
   properties: lc, lp and pb in one byte (lc + 9 * (lp + 5 * pb)) and the
   dictionary size (u32). The raw LZMA stream follows. A decoder holds the
   whole dictionary in memory, so readers refuse one above the cap, which
   the packer never exceeds. */
#define ZIP_LZMA_PROPERTIES_SIZE 5
#define ZIP_LZMA_HEADER_SIZE (4 + ZIP_LZMA_PROPERTIES_SIZE)
#define ZIP_LZMA_MAX_DICTIONARY_SIZE (64u << 20)

/* External attributes of the MS-DOS kind: the folder bit. */
#define ZIP_DOS_DIRECTORY_ATTRIBUTE 0x10u
