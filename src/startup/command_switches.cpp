// The command-line switches: the program's name skipped as Windows skips
// it, the rest cut into words at blanks outside quotes, each word a switch.
#include "startup/command_switches.h"

#include <stddef.h>

// The longest word that can hold a value of its switch: "/LOG=" and a path.
#define SWITCH_WORD_SIZE (5 + SWITCH_PATH_SIZE)

static int IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

static char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c;
}

// True when the length characters at name spell upperName, whatever their case.
static int NameIs(const char* name, size_t length, const char* upperName)
{
    size_t i = 0;
    for (; i < length; i++) {
        if (upperName[i] == 0 || UpperAscii(name[i]) != upperName[i])
            return 0;
    }
    return upperName[i] == 0;
}

// The program's name ends at its closing quote when it starts with one,
// else at the first blank; quotes inside it count for nothing.
static const char* SkipProgramName(const char* line)
{
    if (*line == '"') {
        line++;
        while (*line != 0 && *line != '"')
            line++;
        if (*line == '"')
            line++;
    } else {
        while (*line != 0 && !IsBlank(*line))
            line++;
    }
    return line;
}

// Copies the next word into word (SWITCH_WORD_SIZE bytes) without its
// quotes, and returns where the word ends; *fits is 0 when it was longer.
static const char* TakeWord(const char* line, char* word, int* fits)
{
    size_t used = 0;
    int quoted = 0;
    *fits = 1;
    for (; *line != 0 && (quoted || !IsBlank(*line)); line++) {
        if (*line == '"') {
            quoted = !quoted;
            continue;
        }
        if (used + 1 >= SWITCH_WORD_SIZE) {
            *fits = 0;
            continue;
        }
        word[used++] = *line;
    }
    word[used] = 0;
    return line;
}

// Copies a value of at least one character into value (size bytes); 0, or
// -1 when it is empty or does not fit.
static int TakeValue(char* value, size_t size, const char* text)
{
    size_t length = 0;
    while (text[length] != 0)
        length++;
    if (length == 0 || length >= size)
        return -1;
    for (size_t i = 0; i <= length; i++)
        value[i] = text[i];
    return 0;
}

// The bit of one word; SWITCH_UNKNOWN for anything not ours, and for a
// switch whose value is missing, unwanted or too long.
static uint32_t ReadSwitch(const char* word, CommandSwitches* out)
{
    if (word[0] != '/' && word[0] != '-')
        return SWITCH_UNKNOWN;
    const char* name = word + 1;
    size_t length = 0;
    while (name[length] != 0 && name[length] != '=')
        length++;
    if (name[length] == 0) {
        if (NameIs(name, length, "S"))
            return SWITCH_SILENT;
        if (NameIs(name, length, "X"))
            return SWITCH_EXTRACT_ONLY;
        if (NameIs(name, length, "?") || NameIs(name, length, "HELP"))
            return SWITCH_HELP;
        return SWITCH_UNKNOWN;
    }
    const char* value = name + length + 1;
    if (NameIs(name, length, "D"))
        return TakeValue(out->folder, SWITCH_PATH_SIZE, value) == 0 ? SWITCH_FOLDER : SWITCH_UNKNOWN;
    if (NameIs(name, length, "LOG"))
        return TakeValue(out->logFile, SWITCH_PATH_SIZE, value) == 0 ? SWITCH_LOG : SWITCH_UNKNOWN;
    if (NameIs(name, length, "P"))
        return TakeValue(out->password, SWITCH_PASSWORD_SIZE, value) == 0 ? SWITCH_PASSWORD : SWITCH_UNKNOWN;
    return SWITCH_UNKNOWN;
}

uint32_t ParseCommandSwitches(const char* line, CommandSwitches* out)
{
    out->given = 0;
    out->folder[0] = 0;
    out->logFile[0] = 0;
    out->password[0] = 0;
    if (line == NULL)
        return 0;
    line = SkipProgramName(line);
    char word[SWITCH_WORD_SIZE];
    for (;;) {
        while (IsBlank(*line))
            line++;
        if (*line == 0)
            return out->given;
        int fits;
        line = TakeWord(line, word, &fits);
        out->given |= fits ? ReadSwitch(word, out) : SWITCH_UNKNOWN;
    }
}
