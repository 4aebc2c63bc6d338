#include "e2e_support.h"

namespace e2e {

const std::string& StubPath()
{
    static const std::string path = SFX_STUB_PATH;
    return path;
}

const packaging::Bytes& StubBytes()
{
    static const packaging::Bytes bytes = packaging::readFileBytes(StubPath());
    return bytes;
}

bool GermanUi()
{
    return (GetUserDefaultLangID() & 0x3FF) == LANG_GERMAN;
}

std::string WritePackage(const TempDir& dir, const packaging::TrailerBuilder& trailer,
                         const packaging::Bytes& archive, const std::string& name)
{
    return dir.write(name, packaging::assemblePackage(StubBytes(), archive, trailer));
}

}  // namespace e2e
