// Reading passwords without showing them: the sources in turn, and the
// checks that a password fits the stub.
#include "password_input.h"

#include "crypto/password_check.h"
#include "crypto/secure_wipe.h"
#include "file_system.h"
#include "packer_error.h"
#include "password_input_shared.h"
#include "text_encoding.h"

namespace packer {

void DropLineEnd(std::string& text)
{
    std::size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos) {
        SecureWipe(&text[end], static_cast<uint32_t>(text.size() - end));
        text.resize(end);
    }
}

namespace {

constexpr std::size_t kMaxPasswordFileSize = 4096;

// Editors on Windows begin UTF-8 files with a byte order mark, and call
// UTF-16 "Unicode" and their code page "ANSI".
const char kUtf8Mark[] = "\xEF\xBB\xBF";
const char kUtf16LittleMark[] = "\xFF\xFE";
const char kUtf16BigMark[] = "\xFE\xFF";

bool StartsWith(const std::string& text, const char* mark)
{
    return text.compare(0, std::char_traits<char>::length(mark), mark) == 0;
}

// True for valid UTF-8; the decoded copy of the secret is wiped.
bool IsUtf8(const std::string& text)
{
    std::u32string decoded;
    decoded.reserve(text.size());   // no copies left behind by growing
    bool valid = DecodeUtf8(text, decoded);
    if (!decoded.empty())
        SecureWipe(&decoded[0], static_cast<uint32_t>(decoded.size() * sizeof(char32_t)));
    return valid;
}

std::string ReadPasswordFile(const std::string& name)
{
    InputFile file(PathFromUtf8(name));
    std::string text(kMaxPasswordFileSize, '\0');
    std::size_t n = file.read(reinterpret_cast<std::uint8_t*>(&text[0]), text.size());
    text.resize(n);
    std::string shown = ShownPath(PathFromUtf8(name));
    if (StartsWith(text, kUtf16LittleMark) || StartsWith(text, kUtf16BigMark)) {
        WipePassword(text);
        throw PackerError("the password file " + shown + " is UTF-16 text (\"Unicode\" in Windows editors); "
                          "save it as UTF-8");
    }
    if (StartsWith(text, kUtf8Mark)) {
        SecureWipe(&text[0], 3);
        text.erase(0, 3);
    }
    // The password is the first line, so that a file written by an editor
    // with its closing line end holds the password without it.
    DropLineEnd(text);
    if (!IsUtf8(text)) {
        WipePassword(text);
        throw PackerError("the password file " + shown + " is not UTF-8 text (saved as \"ANSI\"?); save it as UTF-8");
    }
    return text;
}

}  // namespace

void WipePassword(std::string& password)
{
    if (!password.empty())
        SecureWipe(&password[0], static_cast<uint32_t>(password.size()));
    password.clear();
}

std::string ReadPassword(const PasswordSource& source, bool confirm)
{
    std::string typed;
    if (!source.file.empty()) {
        typed = ReadPasswordFile(source.file);
    } else if (!source.environment.empty()) {
        typed = ReadPasswordEnvironment(source.environment);
    } else {
        typed = PromptLine("Password: ");
        if (confirm) {
            std::string again = PromptLine("Password again: ");
            bool same = again == typed;
            WipePassword(again);
            if (!same) {
                WipePassword(typed);
                throw PackerError("the two passwords differ");
            }
        }
    }
    std::string password;
    bool encoded = Utf8ToAnsi(typed, password);
    WipePassword(typed);
    if (!encoded) {
        WipePassword(password);
        // The character itself stays unnamed: it is part of a secret.
        throw PackerError("the password holds a character that the stub's password page cannot take "
                          "(it reads Windows-1252)");
    }
    if (password.empty())
        throw PackerError("the password is empty");
    if (password.size() > PASSWORD_MAX_LENGTH) {
        std::size_t length = password.size();
        WipePassword(password);
        throw PackerError("the password is " + std::to_string(length) + " bytes long; the stub takes at most " +
                          std::to_string(PASSWORD_MAX_LENGTH));
    }
    return password;
}

}  // namespace packer
