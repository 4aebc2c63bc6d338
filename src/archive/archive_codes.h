// Result codes of the archive reader, the entry data reader and the entry
// decoders beneath it; a header of its own so that a decoder can answer in
// them without depending on the reader that calls it.
#pragma once

#define ARCHIVE_OK 0
#define ARCHIVE_IO_ERROR (-1)          // a seek or read failed, or the file ended early
#define ARCHIVE_END_OF_LIST (-100)     // no further entry, or no valid current entry
#define ARCHIVE_BAD_PARAMETER (-102)   // no reader, no open entry, or a name too long
#define ARCHIVE_BAD_FORMAT (-103)      // a signature or a consistency check failed
#define ARCHIVE_NO_MEMORY (-104)       // a buffer allocation failed
#define ARCHIVE_CRC_MISMATCH (-105)    // the entry's data did not match its CRC-32
