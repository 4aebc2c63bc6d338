// UTF-8 entry names into the ANSI code page, through UTF-16.
#include "extract/win32/utf8_names.h"

#include <windows.h>

#ifndef WC_NO_BEST_FIT_CHARS
#define WC_NO_BEST_FIT_CHARS 0x00000400
#endif

// ASCII is the same in UTF-8 and in every ANSI code page.
static int IsAscii(const char* name)
{
    for (; *name != 0; name++)
        if ((unsigned char)*name >= 0x80)
            return 0;
    return 1;
}

int ConvertUtf8Name(const char* name, char* out, uint32_t outSize)
{
    if (IsAscii(name)) {
        if ((uint32_t)lstrlenA(name) >= outSize)
            return -1;
        lstrcpyA(out, name);
        return 0;
    }
    WCHAR wide[MAX_PATH];
    CPINFO codePage;
    if (!GetCPInfo(CP_ACP, &codePage) || codePage.MaxCharSize != 1)
        return -1;
    int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, wide, MAX_PATH);
    if (wideLength <= 0)
        return -1;
    BOOL usedDefault = FALSE;
    int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, wideLength, out, (int)outSize, NULL,
                                     &usedDefault);
    if (length <= 0 || usedDefault)
        return -1;
    return 0;
}
