// Formatted text for WriteText.
#include "output_text.h"

#include <cstdarg>
#include <string>

namespace packer {

void PrintTo(std::FILE* stream, const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list again;
    va_copy(again, arguments);
    int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    if (length > 0) {
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        std::vsnprintf(&text[0], text.size(), format, again);
        text.resize(static_cast<std::size_t>(length));
        WriteText(stream, text);
    }
    va_end(again);
}

}  // namespace packer
