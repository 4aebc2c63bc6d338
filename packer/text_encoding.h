// The character sets a package uses, and the conversions from and to the
// UTF-8 that the packer works in: page texts, commands and passwords are
// Windows-1252 (the ANSI code page of the German and English systems the
// stub is made for); entry names and the delete-list name are OEM code page
// 850 bytes, of which the stub understands only the German letters.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace packer {

// Decodes one UTF-8 text; false when it is not valid UTF-8.
bool DecodeUtf8(std::string_view utf8, std::u32string& out);
std::string EncodeUtf8(std::u32string_view text);

// UTF-8 to and from the UTF-16 of Windows resources. Utf8ToUtf16 stops at
// the first byte that is no UTF-8 (texts from the config were checked when
// read); Utf16ToUtf8 makes a lone surrogate U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view text);

// UTF-8 to Windows-1252. False when some character has no byte there;
// *bad receives the first such character.
bool Utf8ToAnsi(std::string_view utf8, std::string& out, char32_t* bad = nullptr);
// Windows-1252 to UTF-8; the five bytes without a character become U+FFFD.
std::string AnsiToUtf8(std::string_view ansi);

// UTF-8 to OEM name bytes: ASCII and the seven letters ä ö ü Ä Ö Ü ß. False
// for anything else, with *bad as above (U+FFFD for invalid UTF-8).
bool Utf8ToOemName(std::string_view utf8, std::string& out, char32_t* bad = nullptr);
// An entry name as a package stores it: OEM bytes when ASCII and the seven
// letters suffice (every stub reads those), else the UTF-8 itself, which
// the archive marks with general purpose bit 11 (*utf8 true). False only
// for invalid UTF-8.
bool EncodeEntryName(std::string_view utf8, std::string& stored, bool& utf8Stored);

// Lower case of a UTF-8 text as Windows compares file names, for the
// letters of the Latin, Greek and Cyrillic alphabets; other characters stay.
// Invalid UTF-8 comes back as it was.
std::string FoldNameCase(std::string_view utf8);

// OEM name bytes to UTF-8, the way the stub maps them on a Windows-1252
// system. False when a byte 0x80 or above is none of the seven letters: the
// stub refuses such a name.
bool OemNameToUtf8(std::string_view oem, std::string& out);
// For messages: OEM name bytes as UTF-8, unknown bytes as \xNN.
std::string ShowOemName(std::string_view oem);

// C1 control characters, U+0080 to U+009F: terminals take some of them
// for controls (U+009B starts an escape sequence as ESC [ does). Only as
// characters: the Windows-1252 bytes 0x80..0x9F are letters such as the
// euro sign once converted.
bool IsC1Control(char32_t c);
// The characters that reorder the text around them without being seen:
// the marks U+061C, U+200E and U+200F, the embeddings and overrides
// U+202A..U+202E and the isolates U+2066..U+2069.
// "invoice<U+202E>txt.exe" shows as "invoiceexe.txt".
bool IsBidiControl(char32_t c);

// Text from a package, a ZIP file or a file name, made safe to print: every
// control character written as an escape, so that none can move the cursor,
// clear the screen, retitle the user's terminal or disguise a name. C0
// controls and DEL become \xNN (\n, \r and \t by their letters), C1 and
// bidirectional controls \u0080, \u202E ..., and bytes that are no UTF-8
// \xNN. Backslashes stay as they are. keepLineBreaks leaves '\n' alone,
// for messages of several lines.
std::string EscapeControls(std::string_view utf8, bool keepLineBreaks = false);
// The same for JSON text, which escapes C0 controls itself: C1 and
// bidirectional controls inside its strings become \u escapes, which read
// back as the same characters; a byte that is no UTF-8 becomes \uFFFD.
std::string EscapeJsonControls(std::string_view json);

// The first character of a name that the stub refuses or that would
// disguise the name: C0, C1 and bidirectional controls. Bytes that are no
// UTF-8 (the OEM letters of OEM names) are skipped.
std::optional<char32_t> FirstNameControl(std::string_view name);

// "U+00E9 'é'" for messages about a refused character.
std::string DescribeCharacter(char32_t c);

}  // namespace packer
