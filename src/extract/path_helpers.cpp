// Path helpers and the OEM-to-ANSI name mapping. Platform-free: the code
// page comes from the platform layer.
#include "extract/path_helpers.h"

#include <string.h>

#include "platform/sys_file.h"

const uint8_t* NamePairTable;

// Packagers write names in OEM code page 437 or 850; these are the German
// letters such names use, in lookup order.
static const uint8_t OemToAnsiPairs[] = {
    0x84, 0xE4, 0x94, 0xF6, 0x81, 0xFC, 0x8E, 0xC4, 0x99, 0xD6, 0x9A, 0xDC, 0xE1, 0xDF, 0};
static const uint8_t IdentityPairs[] = {
    0x84, 0x84, 0x94, 0x94, 0x81, 0x81, 0x8E, 0x8E, 0x99, 0x99, 0x9A, 0x9A, 0xE1, 0xE1, 0};
static const uint8_t NoPairs[] = {0};

int IsPathSeparator(char c)
{
    return c == '\\' || c == '/';
}

const char* PathFileNamePart(const char* path)
{
    const char* position = path + strlen(path);
    while (position > path && !IsPathSeparator(position[-1]) && position[-1] != ':')
        position--;
    return position;
}

char* PathJoin(char* folder, uint32_t folderSize, const char* name)
{
    if (IsPathSeparator(name[0]))
        name++;
    size_t folderLength = strlen(folder);
    size_t separator = folderLength > 0 && !IsPathSeparator(folder[folderLength - 1]) ? 1 : 0;
    size_t nameLength = strlen(name);
    if (folderLength + separator + nameLength + 1 > folderSize)
        return NULL;
    if (separator)
        folder[folderLength++] = '\\';
    memcpy(folder + folderLength, name, nameLength + 1);
    return folder + folderLength;
}

const uint8_t* NamePairsForCodePage(uint32_t codePage)
{
    switch (codePage) {
    case 437:
    case 850:
        return IdentityPairs;
    case 1252:
    case 1254:
        return OemToAnsiPairs;
    default:
        return NoPairs;
    }
}

static int FindPair(const uint8_t* pairs, uint8_t byte, uint8_t* replacement)
{
    for (; pairs[0] != 0; pairs += 2) {
        if (pairs[0] == byte) {
            *replacement = pairs[1];
            return 0;
        }
    }
    return -1;
}

int MapNameToAnsi(char* name)
{
    uint8_t* p = (uint8_t*)name;
    while (*p != 0 && *p < 0x80)
        p++;
    if (*p == 0)
        return 0;
    if (NamePairTable == NULL)
        NamePairTable = NamePairsForCodePage(SysAnsiCodePage());
    for (; *p != 0; p++) {
        if (*p < 0x80)
            continue;
        if (FindPair(NamePairTable, *p, p) != 0)
            return -1;
    }
    return 0;
}

static char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

// The device names Windows resolves in every folder: the base name up to
// the first dot, trailing spaces ignored, any case. COM and LPT also take
// the superscript digits of the ANSI code page.
static int IsDeviceName(const char* component, size_t length)
{
    static const char* const Devices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    size_t base = 0;
    while (base < length && component[base] != '.')
        base++;
    while (base > 0 && component[base - 1] == ' ')
        base--;
    char lower[8];
    if (base >= sizeof lower)
        return 0;
    for (size_t i = 0; i < base; i++)
        lower[i] = LowerAscii(component[i]);
    lower[base] = 0;
    for (size_t i = 0; i < sizeof Devices / sizeof Devices[0]; i++)
        if (strcmp(lower, Devices[i]) == 0)
            return 1;
    if (base != 4 || (memcmp(lower, "com", 3) != 0 && memcmp(lower, "lpt", 3) != 0))
        return 0;
    uint8_t digit = (uint8_t)lower[3];
    return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

static int CheckComponent(const char* component, size_t length)
{
    if (length == 2 && component[0] == '.' && component[1] == '.')
        return NAME_PARENT_COMPONENT;
    if (length == 0 || (length == 1 && component[0] == '.'))
        return NAME_SAFE;
    if (component[length - 1] == '.' || component[length - 1] == ' ')
        return NAME_TRAILING_DOT_OR_SPACE;
    if (IsDeviceName(component, length))
        return NAME_DEVICE;
    return NAME_SAFE;
}

int CheckEntryName(const char* name)
{
    const char* component = name;
    for (const char* p = name;; p++) {
        if (*p == 0 || IsPathSeparator(*p)) {
            int fault = CheckComponent(component, (size_t)(p - component));
            if (fault != NAME_SAFE || *p == 0)
                return fault;
            component = p + 1;
        } else if (*p == ':') {
            return NAME_COLON;
        } else if ((unsigned char)*p < 0x20) {
            return NAME_CONTROL_BYTE;
        }
    }
}

int IsUnsafeEntryName(const char* name)
{
    return CheckEntryName(name) != NAME_SAFE;
}
