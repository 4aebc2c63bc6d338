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
#define ZIP_FLAG_DATA_DESCRIPTOR 0x0008u   // CRC and sizes follow the data
#define ZIP_FLAG_UTF8_NAME 0x0800u         // the name is UTF-8, not OEM code page bytes

#define ZIP_METHOD_STORED 0
#define ZIP_METHOD_DEFLATED 8

/* External attributes of the MS-DOS kind: the folder bit. */
#define ZIP_DOS_DIRECTORY_ATTRIBUTE 0x10u
