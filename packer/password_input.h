// Where a password comes from: typed at a prompt that does not echo, the
// first line of a file, or an environment variable; never the command line,
// where other users and the shell's history would see it.
#pragma once

#include <string>

namespace packer {

struct PasswordSource {
    std::string file;          // --password-file
    std::string environment;   // --password-env
    bool prompt = false;       // ask on the terminal
    bool given() const { return prompt || !file.empty() || !environment.empty(); }
};

// The password as the stub compares it: Windows-1252 bytes, 1 to 126 of
// them. `confirm` asks twice at the prompt (when a package is made). Throws
// PackerError when the source fails or the password does not fit.
std::string ReadPassword(const PasswordSource& source, bool confirm);

// Wipes a password held in a string before it is released.
void WipePassword(std::string& password);

}  // namespace packer
