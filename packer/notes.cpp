// Notes and warnings on standard error.
#include "notes.h"

#include <cstdio>

#include "output_text.h"
#include "text_encoding.h"

namespace packer {

namespace {

// Set by main from -q before any command runs; read by everything that
// prints besides its results.
bool QuietRun = false;

void Print(const char* kind, const std::string& text)
{
    if (QuietRun)
        return;
    // What went to standard output before belongs before the note. Names
    // in it come from packages and folders: no control byte reaches the
    // terminal as it stands.
    std::fflush(stdout);
    PrintTo(stderr, "sfxpack: %s: %s\n", kind, EscapeControls(text).c_str());
}

}  // namespace

void SetQuiet(bool quiet)
{
    QuietRun = quiet;
}

bool Quiet()
{
    return QuietRun;
}

void Note(const std::string& text)
{
    Print("note", text);
}

void Warn(const std::string& text)
{
    Print("warning", text);
}

}  // namespace packer
