// What a Windows test program under Wine can ask of the Linux machine it
// runs on: the Linux path of a Windows one, and Linux programs started as
// children (Wine runs a Linux binary when CreateProcess is given one). The
// tests use them for what Wine's own file system cannot make, such as links,
// and for host tools such as a code-signing program.
#pragma once
#include <string>

namespace winehost {

// True when the program runs under Wine and the calls below can work.
bool Available();

// The Linux path of an existing Windows path (ANSI or UTF-16); empty when
// there is none.
std::string UnixPath(const std::string& windowsPath);
std::string UnixPath(const std::wstring& windowsPath);

// Runs a Linux command line through /bin/sh (programs by absolute path; no
// double quotes in it), waits for it and returns its exit code, or -1 when
// it could not start or did not end within two minutes.
int RunUnixCommand(const std::string& commandLine);

// Makes a symbolic link at linkPath (a Windows path whose folder exists)
// pointing to target (an existing Windows path). Wine shows such a link as
// a reparse point, as Windows shows a junction. True on success.
bool MakeLink(const std::string& linkPath, const std::string& target);
bool MakeLink(const std::wstring& linkPath, const std::wstring& target);

// Removes a link made by MakeLink, never what it leads to: Wine's own
// calls cannot remove a Linux link to a folder. True on success.
bool RemoveLink(const std::wstring& linkPath);

}  // namespace winehost
