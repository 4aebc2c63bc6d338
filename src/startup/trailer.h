// Reading the configuration trailer at the end of a package: finding its
// footer, reading the record block and filling the settings from it. Shared by
// the stub and the host tools; the stub turns the result codes into messages.
#pragma once
#include <stdint.h>

#include "platform/sys_file.h"
#include "startup/package_format.h"
#include "startup/settings.h"

/* Results of the trailer reader. */
#define TRAILER_OK         0
#define TRAILER_CORRUPT   (-1)   // no footer, a failed read, a bad record walk
#define TRAILER_NO_MEMORY (-2)   // the record block could not be allocated

// Puts every setting at its default (no texts, flags 1, no cipher header).
void ResetSettings(SfxSettingsRecord* settings);

// Signing tools append a certificate table to the program, aligned to
// CERTIFICATE_TABLE_ALIGNMENT bytes by zeros in front of it.
#define CERTIFICATE_TABLE_ALIGNMENT 8

// Where a signed program's certificate table lies: the PE header's
// security directory, when it names one (offset and size not zero, the
// offset inside the file; the size is the directory's, unchecked). 0 with
// *offset and *size filled, or -1 for a file without one.
int FindCertificateTable(SysFile file, int64_t fileSize, uint32_t* offset, uint32_t* size);

// Finds the footer. A package with a certificate table: right before the
// table's offset (behind at most 7 zero bytes of alignment) and nowhere
// else. Without one: in the last 12 bytes, else the match nearest the end
// of the last 16,384 bytes. Fills footer and returns the offset just past
// it, or -1.
int64_t FindTrailerFooter(SysFile file, uint8_t footer[TRAILER_FOOTER_SIZE]);

// Checks that a record of at least the header lies at record with `available`
// bytes up to the walk end, and that its size fits there and suits its type.
// Returns the record's size, or 0 when the record is unusable.
uint32_t CheckTrailerRecord(const uint8_t* record, uint32_t available);

// Stores a text record in slot by the language rule for uiLanguage.
void ApplyTextRecord(LocalizedText* slot, const uint8_t* record, uint32_t uiLanguage);

// Walks the records of a trailer block (records and footer, length bytes)
// into settings. Texts point into block, which must outlive the settings.
int ParseTrailerRecords(const uint8_t* block, uint32_t length, uint32_t uiLanguage,
                        SfxSettingsRecord* settings);

// Finds, reads and parses the trailer of an open package. On success *block
// receives the record block, memory from SysAlloc that the settings' texts
// point into: the stub keeps it to the end, host tools SysFree it once they
// are done with the settings. When the records are refused
// (TRAILER_CORRUPT after the block was read) *block is set all the same: the
// records before the fault are in the settings and point into it, and the
// caller gives it back as on success. Otherwise nothing stays allocated.
int ReadTrailer(SysFile file, uint32_t uiLanguage, SfxSettingsRecord* settings,
                const uint8_t** block, uint32_t* blockLength);

// The same for a footer already found: footer as FindTrailerFooter filled
// it, trailerEnd as it returned.
int ReadTrailerBefore(SysFile file, int64_t trailerEnd, const uint8_t footer[TRAILER_FOOTER_SIZE],
                      uint32_t uiLanguage, SfxSettingsRecord* settings, const uint8_t** block, uint32_t* blockLength);
