// Text output on Linux: terminals, files and pipes all take UTF-8 bytes.
#include "output_text.h"

namespace packer {

void WriteText(std::FILE* stream, std::string_view utf8)
{
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

}  // namespace packer
