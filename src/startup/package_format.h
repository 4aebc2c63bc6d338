// The package format in one place, for the stub, the packer and the tests:
// the trailer behind the archive (its footer, its typed records, the text
// records' layout, the language ids, the option flags) and the sizes of its
// fixed records. All integers are little-endian. Platform-free C.
#pragma once
#include <stdint.h>

/* The footer: a record of type 0 and size 12 closing the trailer; its u32 at
   offset 4 is the whole trailer's length, records and footer. */
#define TRAILER_FOOTER_SIZE 12
#define TRAILER_FOOTER_LENGTH_FIELD 4
#define TRAILER_FOOTER_MAGIC_FIELD 8
#define TRAILER_FOOTER_MAGIC_SIZE 4
#define TRAILER_FOOTER_MAGIC { 'S', 'F', 'X', 0 }   // an initializer of the 4 bytes
/* Without a footer in the last 12 bytes, the first footer-like bytes in
   this many last bytes of the file are taken. */
#define TRAILER_SCAN_WINDOW 16384

/* A record: u16 size (these 4 bytes included), u16 type, payload. */
#define TRAILER_RECORD_HEADER_SIZE 4
#define TRAILER_MAX_RECORD_SIZE 0xFFFF

/* A text record: the header, u16 language, u16 length (not read by the
   stub), the text and its zero: size = TRAILER_TEXT_HEADER_SIZE + length + 1. */
#define TRAILER_TEXT_HEADER_SIZE 8

enum TrailerRecordType {
    RECORD_ARCHIVE = 1,          // u32 archive offset, u32 archive size
    RECORD_TITLE = 2,
    RECORD_INTRO_TEXT = 3,
    RECORD_INTRO_LINK = 4,
    RECORD_FINISH_TEXT = 5,
    RECORD_FINISH_BUTTON = 6,
    RECORD_FLAGS = 7,            // u32 mask, u32 values
    RECORD_COMMAND1 = 8,
    RECORD_FOLDER_TEMPLATE = 9,
    RECORD_EXIT_TEXT = 10,
    RECORD_EXIT_BUTTON = 11,
    RECORD_COMMAND2 = 12,
    RECORD_DELETE_LIST = 13,
    RECORD_CIPHER_HEADER = 14,   // CIPHER_HEADER_SIZE bytes, header included
};

#define ARCHIVE_RECORD_SIZE 12
#define FLAGS_RECORD_SIZE 12
#define CIPHER_HEADER_SIZE 52

// Texts are every type from the title to the delete list but the flags.
static inline int IsTextRecordType(uint16_t type)
{
    return type >= RECORD_TITLE && type <= RECORD_DELETE_LIST && type != RECORD_FLAGS;
}

/* Languages of text records: primary language ids, compared whole. */
#define LANGUAGE_NEUTRAL 0
#define LANGUAGE_GERMAN  7
#define LANGUAGE_ENGLISH 9

/* Option bits of the flags record; the default is FLAGS_DEFAULT. */
#define FLAG_HIDE_FRAME       0x1u   // the frame leaves the screen while a command runs
#define FLAG_FINISH_NO_WAIT   0x2u   // the finish page goes on at once
#define FLAG_SKIP_FOLDER_PAGE 0x4u   // an addition of ours: never ask for the folder
#define FLAG_NO_SWITCHES      0x8u   // an addition of ours: refuse every command-line switch
#define FLAGS_DEFAULT         FLAG_HIDE_FRAME
