// Shared pieces of the end-to-end tests: the stub under test, packages made
// from it, and the language this run of the tests was started in.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "packaging/trailer_writer.h"
#include "support/zip_builder.h"
#include "support/temp_path.h"
#include "support/test_bytes.h"

namespace e2e {

// The stub built with these tests.
const std::string& StubPath();
const packaging::Bytes& StubBytes();

const packaging::Bytes& EmptyArchive();

// The probe program that command tests configure, as a Windows path with
// backslashes, as a packager would write it.
const std::string& ProbePath();

// Many stored entries of bytes that do not compress: long enough to see the
// progress page at work and to press Cancel while the worker is busy.
std::vector<packaging::ZipEntry> SlowEntries();

// True when the tests run with a German user interface (set through the
// locale environment that CTest gives the run).
bool GermanUi();

// The text of the German or English variant, by the current UI language.
inline const char* ByLanguage(const char* german, const char* english)
{
    return GermanUi() ? german : english;
}

// A message's own line: its text up to the first line end. File and folder
// messages name what failed, and why, on the next line.
inline std::string MessageLine(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

// What follows a message's own line; empty when there is none.
inline std::string MessageDetails(const std::string& text)
{
    std::size_t end = text.find('\n');
    return end == std::string::npos ? std::string() : text.substr(end + 1);
}

// Writes stub + archive + trailer into dir and returns the package's path.
std::string WritePackage(const TempDir& dir, const packaging::TrailerBuilder& trailer,
                         const packaging::Bytes& archive = {}, const std::string& name = "package.exe");

// Signs folder\unsignedName into folder\signedName with osslsigncode and a
// certificate made for the run (cert.pem and key.pem in folder); false when
// a step failed. Signed packages are made the way their authors make them.
bool SignWithTestCertificate(const std::string& folder, const std::string& unsignedName,
                             const std::string& signedName);

// True when osslsigncode finds folder\name's signature good against the
// certificate SignWithTestCertificate made there.
bool SignatureVerifies(const std::string& folder, const std::string& name);

// The one "_X" folder a run made inside folder; empty when there is not
// exactly one thing in it.
std::string UniqueFolderIn(const std::string& folder);

// Everything inside folder, as sorted names relative to it with '/'.
std::vector<std::string> Listing(const std::string& folder);

// A package whose folder template is the literal folder `into`; its finish
// page waits, so that the extracted files can be looked at.
std::string PackageInto(const TempDir& dir, const std::string& into, const packaging::Bytes& archive,
                        packaging::TrailerBuilder trailer = {});

}  // namespace e2e

namespace driver {
class StubProcess;
}

namespace e2e {

// Starts the extraction from the folder page, where such a package opens.
void StartExtraction(const driver::StubProcess& stub);

}  // namespace e2e
