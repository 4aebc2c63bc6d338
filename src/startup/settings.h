// The package's configuration as the trailer gives it: the record that
// holds it for the whole run.
#pragma once
#include <stdint.h>

#include "startup/package_format.h"

// One text setting: the language of the record it came from and the text,
// which points into the trailer block. A null text means "not configured".
struct LocalizedText {
    uint32_t language;
    const char* text;
};

struct SfxSettingsRecord {
    /* Where the archive lies in the package file (record 1). */
    uint32_t archiveOffset;
    uint32_t archiveSize;

    /* Texts, each chosen by the language rule among its records. */
    LocalizedText title;             // window title and fatal-message caption
    LocalizedText introText;         // intro page; none skips the page
    LocalizedText introLink;         // second intro line, opened by the shell
    LocalizedText finishText;        // finish page; none means no wait there
    LocalizedText finishButtonText;  // Next caption on the finish page
    LocalizedText exitText;          // exit page; none ends after the commands
    LocalizedText exitButtonText;    // Next caption on the exit page
    LocalizedText command1;          // first command line after extraction
    LocalizedText command2;          // second command line
    LocalizedText folderTemplate;    // target-folder template
    LocalizedText deleteListFile;    // delete list, relative to the target folder

    /* Option bits, FLAG_*; every type-7 record merges into them in order. */
    uint32_t flags;

    /* Encryption (record 14): the record's bytes as they stand. */
    uint8_t cipherHeader[CIPHER_HEADER_SIZE];
    uint8_t cipherHeaderPresent;
    uint8_t passwordAccepted;        // true without a cipher header; set by the password check
};
