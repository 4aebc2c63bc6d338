// Text output on Windows. The C runtime writes bytes, which a console
// shows in its own code page (850 or 437 on Western systems): UTF-8 names
// would come out garbled, and switching the console to UTF-8 would change
// it for the programs after this one too. A console gets the text as wide
// characters instead; files and pipes get UTF-8 through the C runtime, its
// line ends (CR LF) included.
#include "output_text.h"

#include <io.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "wide_text.h"

namespace packer {

namespace {

// The console behind the stream; null when it goes to a file or a pipe.
HANDLE ConsoleOf(std::FILE* stream)
{
    int descriptor = _fileno(stream);
    if (descriptor < 0)
        return nullptr;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode))
        return nullptr;
    return handle;
}

// Old consoles take at most 64 KiB per write.
constexpr std::size_t kConsoleWriteCharacters = 8192;

}  // namespace

void WriteText(std::FILE* stream, std::string_view utf8)
{
    HANDLE console = ConsoleOf(stream);
    if (console == nullptr) {
        std::fwrite(utf8.data(), 1, utf8.size(), stream);
        return;
    }
    // What the C runtime still holds for the console comes first.
    std::fflush(stream);
    std::wstring wide = Utf8ToWide(utf8);
    for (std::size_t at = 0; at < wide.size();) {
        std::size_t count = std::min(wide.size() - at, kConsoleWriteCharacters);
        // A surrogate pair stays whole within one write.
        if (at + count < wide.size() && IS_HIGH_SURROGATE(wide[at + count - 1]))
            count--;
        DWORD written = 0;
        if (!WriteConsoleW(console, wide.data() + at, static_cast<DWORD>(count), &written, nullptr) || written == 0)
            return;
        at += written;
    }
}

}  // namespace packer
