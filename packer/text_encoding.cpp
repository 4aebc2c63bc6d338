// Conversions between UTF-8, Windows-1252 and the OEM name bytes.
#include "text_encoding.h"

#include <cstdint>
#include <cstdio>

#include "extract/path_helpers.h"

namespace packer {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 bytes 0x80..0x9F; 0 where the code page has no character.
constexpr char16_t kAnsiHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

bool AnsiByteFor(char32_t c, unsigned char* byte)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        *byte = static_cast<unsigned char>(c);
        return true;
    }
    for (int i = 0; i < 32; i++) {
        if (kAnsiHighControls[i] != 0 && kAnsiHighControls[i] == c) {
            *byte = static_cast<unsigned char>(0x80 + i);
            return true;
        }
    }
    return false;
}

// The stub's own table for Windows-1252 turns each OEM letter into its
// Latin-1 byte, which is also its Unicode value; reading it from there keeps
// the two directions from drifting apart.
const std::uint8_t* OemPairs()
{
    return NamePairsForCodePage(1252);
}

// Whether every byte is below 0x80, so that the text reads the same in
// ASCII, UTF-8 and the OEM and ANSI code pages. Nearly all entry names
// are, and the functions below take a short way for them: a package of
// many small files pays for its names once per entry.
bool IsAscii(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// ASCII without a control character: nothing in it is escaped.
bool IsPrintableAscii(std::string_view text)
{
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F)
            return false;
    }
    return true;
}

}  // namespace

bool DecodeUtf8(std::string_view utf8, std::u32string& out)
{
    if (IsAscii(utf8)) {
        out.assign(utf8.begin(), utf8.end());
        return true;
    }
    out.clear();
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        int extra;
        char32_t c;
        if (lead < 0x80) {
            extra = 0;
            c = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            c = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            c = lead & 0x07;
        } else {
            return false;
        }
        if (i + extra >= utf8.size())
            return false;
        for (int k = 1; k <= extra; k++) {
            unsigned char next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((extra == 2 && c < 0x800) || (extra == 3 && (c < 0x10000 || c > 0x10FFFF))
            || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        out.push_back(c);
        i += extra + 1;
    }
    return true;
}

std::string EncodeUtf8(std::u32string_view text)
{
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8)
{
    std::u32string decoded;
    DecodeUtf8(utf8, decoded);
    std::u16string text;
    for (char32_t c : decoded) {
        if (c > 0xFFFF) {
            text.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(c));
        }
    }
    return text;
}

std::string Utf16ToUtf8(std::u16string_view text)
{
    std::u32string decoded;
    for (std::size_t i = 0; i < text.size(); i++) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        decoded.push_back(c);
    }
    return EncodeUtf8(decoded);
}

// Decodes utf8; on invalid input reports the replacement character as the
// one that could not be converted.
static bool DecodeReporting(std::string_view utf8, std::u32string& text, char32_t* bad)
{
    if (DecodeUtf8(utf8, text))
        return true;
    if (bad)
        *bad = kReplacement;
    return false;
}

// Decodes utf8 and encodes each character with byteFor; false, with *bad,
// at the first character that has no byte.
static bool EncodeBytes(std::string_view utf8, std::string& out, char32_t* bad,
                        bool (*byteFor)(char32_t, unsigned char*))
{
    std::u32string text;
    out.clear();
    if (!DecodeReporting(utf8, text, bad))
        return false;
    for (char32_t c : text) {
        unsigned char byte;
        if (!byteFor(c, &byte)) {
            if (bad)
                *bad = c;
            return false;
        }
        out.push_back(static_cast<char>(byte));
    }
    return true;
}

bool Utf8ToAnsi(std::string_view utf8, std::string& out, char32_t* bad)
{
    return EncodeBytes(utf8, out, bad, AnsiByteFor);
}

std::string AnsiToUtf8(std::string_view ansi)
{
    std::u32string text;
    for (char ch : ansi) {
        unsigned char byte = static_cast<unsigned char>(ch);
        if (byte >= 0x80 && byte < 0xA0)
            text.push_back(kAnsiHighControls[byte - 0x80] != 0 ? kAnsiHighControls[byte - 0x80] : kReplacement);
        else
            text.push_back(byte);
    }
    return EncodeUtf8(text);
}

// ASCII, and the seven letters by the stub's own pair table.
static bool OemNameByteFor(char32_t c, unsigned char* byte)
{
    if (c < 0x80) {
        *byte = static_cast<unsigned char>(c);
        return true;
    }
    const std::uint8_t* pair = OemPairs();
    while (pair[0] != 0 && pair[1] != c)
        pair += 2;
    *byte = pair[0];
    return pair[0] != 0;
}

bool Utf8ToOemName(std::string_view utf8, std::string& out, char32_t* bad)
{
    return EncodeBytes(utf8, out, bad, OemNameByteFor);
}

bool EncodeEntryName(std::string_view utf8, std::string& stored, bool& utf8Stored)
{
    utf8Stored = false;
    if (Utf8ToOemName(utf8, stored))
        return true;
    std::u32string decoded;
    if (!DecodeUtf8(utf8, decoded))
        return false;
    stored = std::string(utf8);
    utf8Stored = true;
    return true;
}

namespace {

// Simple lower-case mapping of the alphabets names are written in. Windows
// compares names by an upper-case table of its own; for these letters the
// two agree.
char32_t LowerLetter(char32_t c)
{
    if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 0x20;
    if (c >= 0x100 && c <= 0x137 && c != 0x130)
        return c | 1;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c & 1) ? c + 1 : c;
    if (c >= 0x14A && c <= 0x177)
        return c | 1;
    if (c == 0x178)
        return 0xFF;
    if ((c >= 0x391 && c <= 0x3A9 && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    return c;
}

}  // namespace

std::string FoldNameCase(std::string_view utf8)
{
    if (IsAscii(utf8)) {
        std::string folded(utf8);
        for (char& c : folded)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c + ('a' - 'A'));
        return folded;
    }
    std::u32string decoded;
    if (!DecodeUtf8(utf8, decoded))
        return std::string(utf8);
    for (char32_t& c : decoded)
        c = LowerLetter(c);
    return EncodeUtf8(decoded);
}

bool OemNameToUtf8(std::string_view oem, std::string& out)
{
    if (IsAscii(oem)) {
        out.assign(oem);
        return true;
    }
    std::u32string text;
    for (char ch : oem) {
        unsigned char byte = static_cast<unsigned char>(ch);
        if (byte < 0x80) {
            text.push_back(byte);
            continue;
        }
        const std::uint8_t* pair = OemPairs();
        while (pair[0] != 0 && pair[0] != byte)
            pair += 2;
        if (pair[0] == 0)
            return false;
        text.push_back(pair[1]);
    }
    out = EncodeUtf8(text);
    return true;
}

std::string ShowOemName(std::string_view oem)
{
    std::string shown;
    for (char ch : oem) {
        std::string letter;
        unsigned char byte = static_cast<unsigned char>(ch);
        if (byte >= 0x20 && byte != 0x7F && OemNameToUtf8(std::string_view(&ch, 1), letter)) {
            shown += letter;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        }
    }
    return shown;
}

// The length of the UTF-8 sequence at text[i], with its character in *c;
// 0 when none starts there.
static std::size_t SequenceAt(std::string_view text, std::size_t i, char32_t* c)
{
    unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    std::u32string decoded;
    if (!DecodeUtf8(text.substr(i, length), decoded))
        return 0;
    *c = decoded[0];
    return length;
}

static void AppendEscaped(std::string& shown, unsigned char byte)
{
    switch (byte) {
    case '\n': shown += "\\n"; return;
    case '\r': shown += "\\r"; return;
    case '\t': shown += "\\t"; return;
    default: break;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    shown += escaped;
}

// "\u202E": the form both the escaped text and JSON use for a character.
static void AppendCodePoint(std::string& shown, char32_t c)
{
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
    shown += escaped;
}

bool IsC1Control(char32_t c)
{
    return c >= 0x80 && c <= 0x9F;
}

bool IsBidiControl(char32_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::string EscapeControls(std::string_view utf8, bool keepLineBreaks)
{
    if (IsPrintableAscii(utf8))
        return std::string(utf8);
    std::string shown;
    shown.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char byte = static_cast<unsigned char>(utf8[i]);
        char32_t c = 0;
        std::size_t length = SequenceAt(utf8, i, &c);
        if (byte == '\n' && keepLineBreaks) {
            shown += '\n';
            i++;
        } else if (length == 0 || byte < 0x20 || byte == 0x7F) {
            AppendEscaped(shown, byte);
            i++;
        } else if (IsC1Control(c) || IsBidiControl(c)) {
            // U+009B starts an escape sequence as ESC [ does; U+202E shows
            // "invoice<U+202E>txt.exe" as "invoiceexe.txt".
            AppendCodePoint(shown, c);
            i += length;
        } else {
            shown.append(utf8.substr(i, length));
            i += length;
        }
    }
    return shown;
}

std::string EscapeJsonControls(std::string_view json)
{
    std::string shown;
    shown.reserve(json.size());
    for (std::size_t i = 0; i < json.size();) {
        char32_t c = 0;
        std::size_t length = SequenceAt(json, i, &c);
        if (length == 0) {
            AppendCodePoint(shown, 0xFFFD);   // JSON has no escape for a byte
            i++;
        } else if (IsC1Control(c) || IsBidiControl(c)) {
            AppendCodePoint(shown, c);
            i += length;
        } else {
            shown.append(json.substr(i, length));
            i += length;
        }
    }
    return shown;
}

std::optional<char32_t> FirstNameControl(std::string_view name)
{
    if (IsPrintableAscii(name))
        return std::nullopt;
    for (std::size_t i = 0; i < name.size();) {
        char32_t c = 0;
        std::size_t length = SequenceAt(name, i, &c);
        if (length == 0) {
            i++;   // an OEM letter, or no UTF-8 at all: not a control either way
            continue;
        }
        if (c < 0x20 || IsC1Control(c) || IsBidiControl(c))
            return c;
        i += length;
    }
    return std::nullopt;
}

std::string DescribeCharacter(char32_t c)
{
    if (c == kReplacement)
        return "a byte sequence that is not UTF-8";
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    if (c < 0x20 || c == 0x7F || IsC1Control(c) || IsBidiControl(c))
        return code;
    return std::string(code) + " '" + EncodeUtf8(std::u32string(1, c)) + "'";
}

}  // namespace packer
