// Makes the fuzzers' seed corpus at build time from real packages and
// archives, written by the same library the packer uses: plain and
// encrypted packages with every record type, archives with stored,
// deflated, empty and folder entries, data descriptors, comments and bytes
// in front. ZIP files made by other tools can be given after the output
// folder; they become archive seeds as they are and package seeds wrapped
// in a package. Signed packages carry a certificate table of random bytes
// behind a program image that has just the headers that locate it.
//
// Usage: make_fuzz_seeds OUTPUT_DIR [ZIP_FILE ...]
// Writes OUTPUT_DIR/{trailer,archive,encrypted,package_reader}/.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "packaging/entry_encryption.h"
#include "packaging/trailer_writer.h"
#include "support/package_assembly.h"
#include "support/zip_builder.h"

using namespace packaging;
namespace fs = std::filesystem;

namespace {

// The encrypted seeds' password; the encrypted and package_reader harnesses
// try the same one.
constexpr const char* kFuzzPassword = "fuzz";

// Seeds stay small: libFuzzer takes the largest seed as the longest input it
// makes, and short inputs run fast. Packages with a tail need the larger
// stub: the footer scan reads the last 16 KiB and refuses a shorter file,
// which no real stub makes.
constexpr std::size_t kStubSize = 64;
constexpr std::size_t kScannedStubSize = 16384;

struct SeedFolders {
    fs::path trailer, archive, encrypted, packageReader;
};

Bytes Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// Compressible, with the line ends Windows files have.
Bytes Lines(std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; i++)
        text += "Line " + std::to_string(i) + " of a file to be installed.\r\n";
    return Text(text);
}

// A small pseudo-random run that deflate cannot shrink.
Bytes Noise(std::size_t size, std::uint32_t seed)
{
    Bytes out(size);
    for (std::uint8_t& b : out) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(seed >> 16);
    }
    return out;
}

Bytes FakeStub(std::size_t size = kStubSize)
{
    Bytes stub(size, 0);
    stub[0] = 'M';
    stub[1] = 'Z';
    return stub;
}

// A program image with just enough of a PE header for a signature's
// certificate table to be found: the optional header of a 32- or 64-bit
// program with 16 data directories, the security one empty until Sign
// fills it.
constexpr std::size_t kPeHeader = 0x80;
constexpr std::size_t kPeStubSize = 512;

std::size_t SecurityDirectory(bool pe32Plus)
{
    return kPeHeader + 24 + (pe32Plus ? 112 : 96) + 4 * 8;
}

void PutU32(Bytes& bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; i++)
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

Bytes FakePeStub(bool pe32Plus)
{
    Bytes image = FakeStub(kPeStubSize);
    const std::size_t optional = kPeHeader + 24;
    PutU32(image, 0x3C, kPeHeader);
    image[kPeHeader] = 'P';
    image[kPeHeader + 1] = 'E';
    image[kPeHeader + 20] = pe32Plus ? 240 : 224;   // SizeOfOptionalHeader
    image[optional] = 0x0B;
    image[optional + 1] = pe32Plus ? 2 : 1;
    PutU32(image, optional + (pe32Plus ? 112 : 96) - 4, 16);   // NumberOfRvaAndSizes
    return image;
}

// Signs a package as signing tools do: zeros up to a multiple of 8, the
// certificate table behind them, the security directory pointing to it.
Bytes Sign(Bytes package, bool pe32Plus, std::size_t tableSize)
{
    while (package.size() % 8 != 0)
        package.push_back(0);
    PutU32(package, SecurityDirectory(pe32Plus), static_cast<std::uint32_t>(package.size()));
    PutU32(package, SecurityDirectory(pe32Plus) + 4, static_cast<std::uint32_t>(tableSize));
    Bytes table = Noise(tableSize, 9);
    package.insert(package.end(), table.begin(), table.end());
    return package;
}

// Grows a signed package's certificate table by an archive, records and a
// footer, the table's size in the directory with it: the signature covers
// neither, so it stays valid, and the footer now ends the file.
Bytes WithHiddenTrailer(Bytes package, bool pe32Plus, const Bytes& archive)
{
    std::size_t directory = SecurityDirectory(pe32Plus);
    std::uint32_t size = 0;
    for (int i = 0; i < 4; i++)
        size |= static_cast<std::uint32_t>(package[directory + 4 + static_cast<std::size_t>(i)]) << (8 * i);
    TrailerBuilder trailer;
    trailer.archive(static_cast<std::uint32_t>(package.size()), static_cast<std::uint32_t>(archive.size()));
    trailer.text(kTitle, kNeutral, "Hidden");
    Bytes hidden = archive;
    Bytes records = trailer.build();
    hidden.insert(hidden.end(), records.begin(), records.end());
    package.insert(package.end(), hidden.begin(), hidden.end());
    PutU32(package, directory + 4, size + static_cast<std::uint32_t>(hidden.size()));
    return package;
}

void Write(const fs::path& folder, const std::string& name, const Bytes& bytes)
{
    writeFileBytes((folder / name).string(), bytes);
}

// An archive as the packer makes one: files deflated or stored, folders,
// an empty file, a name with an OEM umlaut (0x81, u with diaeresis).
Bytes TypicalArchive()
{
    ZipWriter zip;
    zip.add(ZipEntry::file("readme.txt", Lines(40)));
    zip.add(ZipEntry::directory("data/"));
    zip.add(ZipEntry::file("data/one.bin", Noise(300, 1), ZipMethod::kStored));
    zip.add(ZipEntry::file("data/empty.txt", {}));
    zip.add(ZipEntry::file("docs/Gr\x81" "e.txt", Text("Gruesse\r\n")));
    zip.add(ZipEntry::directory("empty-folder/"));
    return zip.build();
}

// Every text record in every language the stub tells apart, flags, and a
// record type the stub skips.
TrailerBuilder FullTrailer()
{
    TrailerBuilder trailer;
    trailer.text(kTitle, kNeutral, "Setup");
    trailer.text(kTitle, kGerman, "Einrichtung");
    trailer.text(kTitle, kEnglish, "Setup");
    trailer.text(kIntroText, kGerman, "Willkommen!\r\nDieses Programm richtet Demo ein.");
    trailer.text(kIntroText, kEnglish, "Welcome! This program sets up Demo.");
    trailer.text(kIntroLink, kNeutral, "https://example.com/demo");
    trailer.text(kFinishText, kEnglish, "The files are unpacked.");
    trailer.text(kFinishButton, kEnglish, "Install");
    trailer.flags(3, 2);
    trailer.text(kCommand1, kNeutral, "setup.exe /quiet");
    trailer.text(kCommand2, kNeutral, "\"%s\\readme.txt\"");
    trailer.text(kFolderTemplate, kNeutral, "\\!Temp");
    trailer.text(kExitText, kGerman, "Fertig.");
    trailer.text(kExitButton, kGerman, "Beenden");
    trailer.text(kDeleteList, kNeutral, "cleanup.txt");
    trailer.raw({ 8, 0, 99, 0, 1, 2, 3, 4 });
    return trailer;
}

TrailerBuilder TitleOnly(const std::string& title)
{
    TrailerBuilder trailer;
    trailer.text(kTitle, kNeutral, title);
    return trailer;
}

ArchiveSecrets FixedSecrets()
{
    ArchiveSecrets secrets;
    for (std::size_t i = 0; i < secrets.salt.size(); i++)
        secrets.salt[i] = static_cast<std::uint8_t>(0x10 + i);
    for (std::size_t i = 0; i < secrets.headerChain.size(); i++)
        secrets.headerChain[i] = static_cast<std::uint8_t>(0x20 + i);
    for (std::size_t i = 0; i < secrets.archiveKey.size(); i++)
        secrets.archiveKey[i] = static_cast<std::uint8_t>(0x30 + 3 * i);
    for (std::size_t i = 0; i < secrets.entryIvStart.size(); i++)
        secrets.entryIvStart[i] = static_cast<std::uint8_t>(0x40 + i);
    return secrets;
}

void WriteArchiveSeeds(const SeedFolders& to)
{
    Write(to.archive, "typical.zip", TypicalArchive());

    ZipWriter commented;
    commented.add(ZipEntry::file("a.txt", Text("a\n"), ZipMethod::kStored));
    commented.comment("An archive comment");
    Write(to.archive, "comment.zip", commented.build());

    ZipWriter streamed;
    ZipEntry first = ZipEntry::file("streamed.txt", Lines(20));
    first.dataDescriptor = true;
    ZipEntry second = ZipEntry::file("stored.bin", Noise(100, 2), ZipMethod::kStored);
    second.dataDescriptor = true;
    streamed.add(first).add(second);
    Write(to.archive, "data-descriptor.zip", streamed.build());

    ZipWriter extras;
    ZipEntry withExtras = ZipEntry::file("extra.txt", Lines(5));
    withExtras.localExtra = { 0x55, 0x54, 5, 0, 1, 0x00, 0x00, 0x00, 0x60 };
    withExtras.centralExtra = { 0x55, 0x54, 1, 0, 1 };
    withExtras.comment = "entry comment";
    extras.add(withExtras);
    Write(to.archive, "extra-fields.zip", extras.build());

    // Bytes in front, with offsets from the archive's start and from the file's.
    ZipWriter behindProgram;
    behindProgram.add(ZipEntry::file("x.txt", Lines(3)));
    behindProgram.leadingBytes(FakeStub());
    Write(to.archive, "leading-bytes.zip", behindProgram.build());
    behindProgram.leadingBytes(FakeStub(), true);
    Write(to.archive, "leading-bytes-adjusted.zip", behindProgram.build());

    Write(to.archive, "empty.zip", ZipWriter().build());

    // Larger than one read chunk of the entry reader (16 KiB), stored, so
    // that the refill runs more than once.
    ZipWriter large;
    large.add(ZipEntry::file("large.bin", Noise(17000, 3), ZipMethod::kStored));
    large.add(ZipEntry::file("large.txt", Lines(1200)));
    Write(to.archive, "two-chunks.zip", large.build());
}

// Plain packages go to the trailer and package reader targets.
void WritePlainPackage(const SeedFolders& to, const std::string& name, const Bytes& package)
{
    Write(to.trailer, name, package);
    Write(to.packageReader, name, package);
}

void WritePlainPackageSeeds(const SeedFolders& to)
{
    WritePlainPackage(to, "full.exe", assemblePackage(FakeStub(), TypicalArchive(), FullTrailer()));
    WritePlainPackage(to, "with-tail.exe",
                      assemblePackage(FakeStub(kScannedStubSize), TypicalArchive(), TitleOnly("Tail"), Noise(200, 4)));

    ZipWriter one;
    one.add(ZipEntry::file("setup.exe", Text("MZ program"), ZipMethod::kStored));
    WritePlainPackage(to, "one-entry.exe", assemblePackage(FakeStub(), one.build(), TitleOnly("One")));
    WritePlainPackage(to, "empty-archive.exe", assemblePackage(FakeStub(), ZipWriter().build(), TitleOnly("Empty")));

    // No archive record at all: a trailer alone after the program.
    Bytes noArchive = FakeStub();
    Bytes trailer = TitleOnly("No archive").build();
    noArchive.insert(noArchive.end(), trailer.begin(), trailer.end());
    WritePlainPackage(to, "no-archive.exe", noArchive);

    // Signed, 32- and 64-bit; the second holds a package as its last stored
    // file, whose trailer the footer search must not take for its own.
    WritePlainPackage(to, "signed-32.exe", Sign(assemblePackage(FakePeStub(false), TypicalArchive(), FullTrailer()),
                                                false, 200));
    ZipWriter nested;
    nested.add(ZipEntry::file("readme.txt", Lines(5)));
    nested.add(ZipEntry::file("inner.exe", assemblePackage(FakePeStub(true), one.build(), TitleOnly("Inner")),
                              ZipMethod::kStored));
    Bytes signedNested = Sign(assemblePackage(FakePeStub(true), nested.build(), TitleOnly("Outer")), true, 120);
    WritePlainPackage(to, "signed-64-nested.exe", signedNested);

    // What the signature leaves open: a trailer of someone else's hidden in
    // the grown table, a byte after the table, and a directory that names
    // a table where no footer ends.
    WritePlainPackage(to, "signed-hidden-trailer.exe", WithHiddenTrailer(signedNested, true, one.build()));
    Bytes byteAfter = signedNested;
    byteAfter.push_back(0);
    WritePlainPackage(to, "signed-byte-after.exe", byteAfter);
    Bytes tableInside = assemblePackage(FakePeStub(false), TypicalArchive(), TitleOnly("Inside"));
    PutU32(tableInside, SecurityDirectory(false), kPeStubSize + 40);
    PutU32(tableInside, SecurityDirectory(false) + 4, 64);
    WritePlainPackage(to, "signed-table-inside.exe", tableInside);

    // The record block alone, footer included, for the walk over the input.
    Write(to.trailer, "records-only.bin", FullTrailer().build());
}

void WriteEncryptedPackage(const SeedFolders& to, const std::string& name, const Bytes& package)
{
    Write(to.encrypted, name, package);
    Write(to.packageReader, name, package);
    Write(to.trailer, name, package);
}

void WriteEncryptedSeeds(const SeedFolders& to)
{
    ArchiveSecrets secrets = FixedSecrets();
    EntryEncryptor encryptor(secrets);
    Bytes header = makeCipherHeader(kFuzzPassword, secrets);

    ZipWriter zip;
    zip.add(encryptedZipEntry(encryptor, "readme.txt", Lines(40)));
    zip.add(ZipEntry::directory("data/"));
    zip.add(encryptedZipEntry(encryptor, "data/one.bin", Noise(300, 5), ZipMethod::kStored));
    zip.add(encryptedZipEntry(encryptor, "data/empty.txt", {}));
    ZipEntry streamed = encryptedZipEntry(encryptor, "streamed.txt", Lines(10));
    streamed.dataDescriptor = true;
    zip.add(streamed);
    Bytes archive = zip.build();

    TrailerBuilder full = FullTrailer();
    full.cipherHeader(header);
    WriteEncryptedPackage(to, "encrypted-full.exe", assemblePackage(FakeStub(), archive, full));

    TrailerBuilder minimal = TitleOnly("Encrypted");
    minimal.cipherHeader(header);
    ZipWriter one;
    one.add(encryptedZipEntry(encryptor, "setup.exe", Text("MZ encrypted program"), ZipMethod::kStored));
    WriteEncryptedPackage(to, "encrypted-one.exe",
                          assemblePackage(FakeStub(kScannedStubSize), one.build(), minimal, Noise(40, 6)));

    WriteEncryptedPackage(to, "encrypted-signed.exe",
                          Sign(assemblePackage(FakePeStub(false), one.build(), minimal), false, 64));

    ZipWriter large;
    large.add(encryptedZipEntry(encryptor, "large.bin", Noise(17000, 7), ZipMethod::kStored));
    WriteEncryptedPackage(to, "encrypted-two-chunks.exe", assemblePackage(FakeStub(), large.build(), minimal));
}

// ZIP files from other tools: archive seeds as they are, package seeds
// behind a stub with a title.
void WriteToolSeeds(const SeedFolders& to, int count, char** paths)
{
    for (int i = 0; i < count; i++) {
        fs::path path = paths[i];
        Bytes zip = readFileBytes(path.string());
        std::string name = path.filename().string();
        Write(to.archive, name, zip);
        WritePlainPackage(to, name + ".exe", assemblePackage(FakeStub(), zip, TitleOnly(name)));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds OUTPUT_DIR [ZIP_FILE ...]\n");
        return 2;
    }
    try {
        fs::path out = argv[1];
        SeedFolders to{ out / "trailer", out / "archive", out / "encrypted", out / "package_reader" };
        for (const fs::path& folder : { to.trailer, to.archive, to.encrypted, to.packageReader }) {
            fs::remove_all(folder);
            fs::create_directories(folder);
        }
        WriteArchiveSeeds(to);
        WritePlainPackageSeeds(to);
        WriteEncryptedSeeds(to);
        WriteToolSeeds(to, argc - 2, argv + 2);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_fuzz_seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
