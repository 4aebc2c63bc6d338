// Messages beside a command's results: notes (what the packer changed or
// chose on its own) and warnings (likely mistakes). Both go to standard
// error, so that a listing on standard output stays clean for scripts, and
// -q silences both; errors are never silenced.
#pragma once

#include <string>

namespace packer {

// Called once, after the command line is read: -q given or not.
void SetQuiet(bool quiet);
bool Quiet();

// "sfxpack: note: TEXT" and "sfxpack: warning: TEXT", one line each,
// unless -q was given.
void Note(const std::string& text);
void Warn(const std::string& text);

}  // namespace packer
