// UTF-8 and the UTF-16 that Windows' wide calls take. Only the *_win.cpp
// files use these: the packer works in UTF-8 and converts at the call.
#pragma once

#include <string>
#include <string_view>

namespace packer {

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

}  // namespace packer
