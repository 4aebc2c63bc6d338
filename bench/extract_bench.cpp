// Speed of the extraction worker against the least work any extractor has to
// do, both in this process, printed side by side as ratios:
//   1. about 200 MB in seven deflated entries of 10 to 40 MB (text-like,
//      random and mixed data), extracted by ExtractionWorker from a package
//      file, against the floor: a raw inflate of the same compressed bytes,
//      read from the same package file in 16 KiB pieces, written with
//      CreateFileA/WriteFile/CloseHandle into a fresh folder (goal <= 1.1);
//   2. 5,000 deflated files of 2 KB in 50 folders, the same way (goal <= 1.2);
//   3. both cases once more as encrypted packages of the same compressed
//      data, extracted by the worker, against the worker on the plain ones:
//      what the password costs (goal <= 2 for the large case).
// The worker's cleanup, the removal of the floor's files, loading a package
// and the password check are not timed. Each figure is the best of a few
// rounds in which the contenders take turns, so that a slow phase of a busy
// machine hits all alike.
//
// With "--keep-zip PATH" the bare ZIP of case 1 is also written to PATH, so
// that a host unzip can be timed on the same archive; the script does that:
//   bash bench/extract_bench.sh
// Without the script (64-bit Windows build, run under Wine; the 32-bit one
// works the same way):
//   cmake --build --preset win64 --target extract_bench
//   scripts/wine-run.sh build/win64/bin/extract_bench.exe
#include <windows.h>

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "archive/entry_reader.h"
#include "resource_ids.h"
#include "crypto/crypto_state.h"
#include "crypto/password_check.h"
#include "extract/win32/cleanup_journal.h"
#include "extract/win32/extraction_worker.h"
#include "extract/win32/target_folder.h"
#include "packaging/entry_encryption.h"
#include "packaging/trailer_writer.h"
#include "support/package_assembly.h"
#include "support/zip_builder.h"
#include "startup/win32/config_trailer.h"
#include "startup/trailer.h"
#include "support/temp_path.h"
#include "wizard/frame_link.h"

using namespace packaging;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 6;
constexpr int kSmallFiles = 5000;
constexpr std::size_t kSmallFileSize = 2048;
constexpr int kSmallFolders = 50;
const char kPassword[] = "bench password";

// xorshift32: fixed seeds, so every run extracts the same bytes.
struct Random {
    std::uint32_t state;
    std::uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

enum class Kind { kText, kRandom, kMixed };

void AppendText(Bytes& out, std::size_t size, Random& random)
{
    static const char* const words[] = {"Setup ",  "archive ", "the ",  "entry ", "Windows ", "\r\n",
                                        "folder ", "0x7F ",    "data ", "file ",  "program ", "= "};
    std::size_t lineWords = 10 + random.next() % 30;
    while (out.size() < size) {
        for (const char* c = words[random.next() % 12]; *c && out.size() < size; c++)
            out.push_back(static_cast<std::uint8_t>(*c));
        if (--lineWords == 0) {
            out.push_back('\n');
            lineWords = 10 + random.next() % 30;
        }
    }
    out.resize(size);
}

void AppendRandom(Bytes& out, std::size_t size, Random& random)
{
    while (out.size() + 4 <= size) {
        std::uint32_t v = random.next();
        out.insert(out.end(), reinterpret_cast<std::uint8_t*>(&v), reinterpret_cast<std::uint8_t*>(&v) + 4);
    }
    while (out.size() < size)
        out.push_back(static_cast<std::uint8_t>(random.next()));
}

Bytes MakeData(Kind kind, std::size_t size, std::uint32_t seed)
{
    Random random{seed};
    Bytes out;
    out.reserve(size);
    if (kind == Kind::kText) {
        AppendText(out, size, random);
    } else if (kind == Kind::kRandom) {
        AppendRandom(out, size, random);
    } else {
        // Text with runs of noise between its lines, as installers hold.
        while (out.size() < size) {
            std::size_t end = std::min(size, out.size() + 256 + random.next() % 8192);
            if (random.next() % 10 < 3)
                AppendRandom(out, end, random);
            else
                AppendText(out, end, random);
        }
    }
    return out;
}

// One entry as both runs see it: its name, and where its compressed bytes
// lie in the package file.
struct EntryPlace {
    std::string name;
    std::uint64_t dataOffset;
    std::uint32_t compressedSize;
    std::uint32_t uncompressedSize;
};

struct Package {
    std::string path;
    std::vector<EntryPlace> entries;
    std::uint64_t totalBytes = 0;
    std::uint64_t compressedBytes = 0;
    bool encrypted = false;
};

class Bench {
  public:
    explicit Bench(const std::string& base) : base_(base) {}

    // Builds the archive from the entries (data compressed already, perhaps
    // encrypted), writes the package, and remembers where each entry's data
    // lie. An encrypted package's trailer carries the cipher header.
    Package Write(const std::string& name, std::vector<ZipEntry> entries, Bytes* bareZip,
                  const Bytes& cipherHeader = Bytes())
    {
        ZipWriter writer;
        Package package;
        for (const ZipEntry& entry : entries) {
            package.entries.push_back({entry.name, 0, static_cast<std::uint32_t>(entry.preparedData->size()),
                                       entry.uncompressedSize});
            package.totalBytes += entry.uncompressedSize;
            package.compressedBytes += entry.preparedData->size();
        }
        for (ZipEntry& entry : entries)
            writer.add(std::move(entry));
        entries.clear();
        ZipLayout layout;
        Bytes archive = writer.build(&layout);
        const Bytes stub(40000, 0x90);
        for (std::size_t i = 0; i < package.entries.size(); i++)
            package.entries[i].dataOffset = stub.size() + layout.dataStarts[i];
        package.path = base_ + "\\" + name;
        TrailerBuilder trailer;
        if (!cipherHeader.empty())
            trailer.cipherHeader(cipherHeader);
        package.encrypted = !cipherHeader.empty();
        writeFileBytes(package.path, assemblePackage(stub, archive, trailer));
        if (bareZip)
            *bareZip = std::move(archive);
        return package;
    }

    // Points the stub's globals at the package, as the stub does at start,
    // and for an encrypted one passes the password page. The cipher state is
    // allocated once and kept aside while a plain package is loaded.
    bool Load(const Package& package)
    {
        if (ModuleFile != SYS_FILE_INVALID)
            SysFileClose(ModuleFile);
        ResetSettings(&SfxSettings);
        ModuleFile = SysFileOpenRead(package.path.c_str());
        const uint8_t* block;
        uint32_t length;
        if (ModuleFile == SYS_FILE_INVALID || ReadTrailer(ModuleFile, 9, &SfxSettings, &block, &length) != TRAILER_OK)
            return false;
        ActiveCipher = nullptr;
        if (!package.encrypted)
            return true;
        ActiveCipher = cipher_;
        int result = VerifyPassword(&SfxSettings, reinterpret_cast<const std::uint8_t*>(kPassword),
                                    static_cast<std::uint32_t>(std::strlen(kPassword)));
        cipher_ = ActiveCipher;
        return result == PASSWORD_ACCEPTED;
    }

    double TimeWorker(const Package& package)
    {
        lstrcpyA(TargetFolder, base_.c_str());
        CancelRequested = 0;
        auto start = Clock::now();
        ExtractionWorker(nullptr);
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        MSG msg;
        WPARAM command = 0;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            if (msg.message == WM_COMMAND)
                command = msg.wParam;
        if (command != IDC_NEXT || BytesDone != package.totalBytes)
            std::fprintf(stderr, "worker: command %u, %llu of %llu bytes\n", static_cast<unsigned>(command),
                         static_cast<unsigned long long>(BytesDone),
                         static_cast<unsigned long long>(package.totalBytes));
        RunCleanup();
        return seconds;
    }

    double TimeFloor(const Package& package)
    {
        std::string root = base_ + "\\floor" + std::to_string(floorRuns_++);
        std::vector<std::string> created;
        HANDLE source = CreateFileA(package.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        auto start = Clock::now();
        bool ok = source != INVALID_HANDLE_VALUE && CreateDirectoryA(root.c_str(), nullptr);
        created.push_back(root);
        z_stream stream{};
        inflateInit2(&stream, -MAX_WBITS);
        std::string folder;
        for (const EntryPlace& entry : package.entries) {
            if (!ok)
                break;
            std::string path = root + "\\" + entry.name;
            std::replace(path.begin(), path.end(), '/', '\\');
            // Entries come folder by folder, so creating the missing folders
            // once per change of folder is all a plain extractor needs.
            std::string parent = path.substr(0, path.rfind('\\'));
            if (parent != folder) {
                for (std::size_t s = path.find('\\', root.size() + 1); s != std::string::npos;
                     s = path.find('\\', s + 1)) {
                    std::string prefix = path.substr(0, s);
                    if (CreateDirectoryA(prefix.c_str(), nullptr))
                        created.push_back(prefix);
                }
                folder = parent;
            }
            HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                     nullptr);
            created.push_back(path);
            ok = out != INVALID_HANDLE_VALUE && Inflate(source, entry, &stream, out);
            if (out != INVALID_HANDLE_VALUE)
                CloseHandle(out);
        }
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        inflateEnd(&stream);
        if (source != INVALID_HANDLE_VALUE)
            CloseHandle(source);
        if (!ok)
            std::fprintf(stderr, "floor run failed\n");
        for (auto it = created.rbegin(); it != created.rend(); ++it)
            if (!DeleteFileA(it->c_str()))
                RemoveDirectoryA(it->c_str());
        return seconds;
    }

  private:
    bool Inflate(HANDLE source, const EntryPlace& entry, z_stream* stream, HANDLE out)
    {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(entry.dataOffset);
        if (!SetFilePointerEx(source, at, nullptr, FILE_BEGIN))
            return false;
        inflateReset(stream);
        std::uint32_t left = entry.compressedSize;
        int result = Z_OK;
        while (result == Z_OK) {
            if (stream->avail_in == 0 && left > 0) {
                DWORD got = 0;
                DWORD want = std::min<std::uint32_t>(left, ENTRY_READ_CHUNK_SIZE);
                if (!ReadFile(source, input_.data(), want, &got, nullptr) || got != want)
                    return false;
                left -= got;
                stream->next_in = input_.data();
                stream->avail_in = got;
            }
            stream->next_out = output_.data();
            stream->avail_out = OUTPUT_BUFFER_SIZE;
            result = inflate(stream, Z_NO_FLUSH);
            DWORD produced = OUTPUT_BUFFER_SIZE - stream->avail_out;
            DWORD written = 0;
            if (produced > 0 && (!WriteFile(out, output_.data(), produced, &written, nullptr) || written != produced))
                return false;
            if (result == Z_BUF_ERROR && produced > 0)
                result = Z_OK;
        }
        return result == Z_STREAM_END && stream->total_out == entry.uncompressedSize;
    }

    std::string base_;
    int floorRuns_ = 0;
    CipherState* cipher_ = nullptr;
    Bytes input_ = Bytes(ENTRY_READ_CHUNK_SIZE);
    Bytes output_ = Bytes(OUTPUT_BUFFER_SIZE);
};

ZipEntry Deflated(const std::string& name, const Bytes& data)
{
    return ZipEntry::prepared(name, ZipMethod::kDeflated, deflateRaw(data), crc32Of(data),
                              static_cast<std::uint32_t>(data.size()));
}

std::vector<ZipEntry> LargeEntries()
{
    struct Plan {
        const char* name;
        Kind kind;
        std::size_t megabytes;
    };
    static const Plan plan[] = {
        {"large/manual.txt", Kind::kText, 40},   {"large/payload.bin", Kind::kRandom, 30},
        {"large/mixed1.dat", Kind::kMixed, 35},  {"large/log.txt", Kind::kText, 25},
        {"large/media.bin", Kind::kRandom, 10},  {"large/mixed2.dat", Kind::kMixed, 40},
        {"large/readme.txt", Kind::kText, 20},
    };
    std::vector<ZipEntry> entries;
    std::uint32_t seed = 2463534242u;
    for (const Plan& p : plan)
        entries.push_back(Deflated(p.name, MakeData(p.kind, p.megabytes << 20, seed += 0x9E3779B9u)));
    return entries;
}

std::vector<ZipEntry> SmallEntries()
{
    std::vector<ZipEntry> entries;
    for (int i = 0; i < kSmallFiles; i++) {
        char name[64];
        std::snprintf(name, sizeof name, "small/d%02d/file%04d.txt", i / (kSmallFiles / kSmallFolders), i);
        Kind kind = i % 4 == 3 ? Kind::kRandom : i % 4 == 2 ? Kind::kMixed : Kind::kText;
        entries.push_back(Deflated(name, MakeData(kind, kSmallFileSize, 12345u + static_cast<std::uint32_t>(i))));
    }
    return entries;
}

// The same compressed data, encrypted under the secrets' archive key: only
// the decryption differs between the two packages.
std::vector<ZipEntry> EncryptedCopies(const std::vector<ZipEntry>& entries, const ArchiveSecrets& secrets)
{
    EntryEncryptor encryptor(secrets);
    std::vector<ZipEntry> copies;
    for (const ZipEntry& entry : entries)
        copies.push_back(ZipEntry::prepared(entry.name, entry.method, encryptor.encryptEntry(*entry.preparedData),
                                            entry.crc, entry.uncompressedSize));
    return copies;
}

struct Result {
    double worker = 1e30;
    double floor = 1e30;
    double encryptedWorker = 1e30;
};

Result Measure(Bench& bench, const Package& plain, const Package& encrypted)
{
    Result best;
    auto worker = [&](const Package& package, double* time) {
        if (!bench.Load(package)) {
            std::fprintf(stderr, "cannot load %s\n", package.path.c_str());
            return;
        }
        *time = std::min(*time, bench.TimeWorker(package));
    };
    auto floor = [&] { best.floor = std::min(best.floor, bench.TimeFloor(plain)); };
    // Every order of the three in turn: the one that runs after another's
    // cleanup may find the file system still busy with it, so none may
    // always follow the same one.
    static const char orders[6][4] = {"pfe", "efp", "fpe", "epf", "pef", "fep"};
    for (int round = 0; round < kRounds; round++) {
        for (const char* c = orders[round % 6]; *c; c++) {
            if (*c == 'p')
                worker(plain, &best.worker);
            else if (*c == 'e')
                worker(encrypted, &best.encryptedWorker);
            else
                floor();
        }
    }
    return best;
}

void PrintRow(const char* what, const Package& package, const Result& r, double goal)
{
    double mb = static_cast<double>(package.totalBytes) / (1 << 20);
    double ratio = r.worker / r.floor;
    std::printf("%-22s %7.1f MB %6zu files  %9.1f ms %9.1f ms  %7.1f MB/s %7.1f MB/s  %6.3f  %-5.1f %s\n", what, mb,
                package.entries.size(), r.worker * 1e3, r.floor * 1e3, mb / r.worker, mb / r.floor, ratio,
                goal, ratio <= goal ? "ok" : "OVER");
}

void PrintEncryptedRow(const char* what, const Result& r, double goal)
{
    double ratio = r.encryptedWorker / r.worker;
    std::printf("%-22s %12.1f %14.1f  %6.3f  ", what, r.worker * 1e3, r.encryptedWorker * 1e3, ratio);
    if (goal > 0)
        std::printf("%-5.1f %s\n", goal, ratio <= goal ? "ok" : "OVER");
    else
        std::printf("-\n");
}

}  // namespace

int main(int argc, char** argv)
{
    std::string keepZip;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--keep-zip") == 0 && i + 1 < argc) {
            keepZip = argv[++i];
        } else {
            std::fprintf(stderr, "usage: extract_bench [--keep-zip PATH]\n");
            return 2;
        }
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    TempDir dir;
    Bench bench(dir.path());
    std::printf("preparing the large archive (deflating about 200 MB)...\n");
    ArchiveSecrets secrets = drawArchiveSecrets();
    Bytes cipherHeader = makeCipherHeader(kPassword, secrets);
    Bytes bareZip;
    std::vector<ZipEntry> entries = LargeEntries();
    Package largeEncrypted =
        bench.Write("large_encrypted.exe", EncryptedCopies(entries, secrets), nullptr, cipherHeader);
    Package large = bench.Write("large_package.exe", std::move(entries), keepZip.empty() ? nullptr : &bareZip);
    if (!keepZip.empty()) {
        writeFileBytes(keepZip, bareZip);
        bareZip = Bytes();
        std::printf("bare ZIP of the large archive kept at %s\n", keepZip.c_str());
    }
    std::printf("preparing the archive of %d small files...\n", kSmallFiles);
    entries = SmallEntries();
    Package smallEncrypted =
        bench.Write("small_encrypted.exe", EncryptedCopies(entries, secrets), nullptr, cipherHeader);
    Package small = bench.Write("small_package.exe", std::move(entries), nullptr);
    std::printf("large: %.1f MB deflated to %.1f MB; small: %.1f MB deflated to %.1f MB\n",
                static_cast<double>(large.totalBytes) / (1 << 20), static_cast<double>(large.compressedBytes) / (1 << 20),
                static_cast<double>(small.totalBytes) / (1 << 20), static_cast<double>(small.compressedBytes) / (1 << 20));
    std::printf("best of %d rounds, worker, floor and the worker on the encrypted package taking turns; folder %s\n\n",
                kRounds, dir.path().c_str());

    Result largeResult = Measure(bench, large, largeEncrypted);
    Result smallResult = Measure(bench, small, smallEncrypted);
    SysFileClose(ModuleFile);
    ModuleFile = SYS_FILE_INVALID;
    ActiveCipher = nullptr;

    std::printf("%-22s %10s %12s  %12s %12s  %12s %12s  %6s  %-5s\n", "case", "data", "entries", "worker ms", "floor ms",
                "worker MB/s", "floor MB/s", "ratio", "goal");
    PrintRow("large (7 entries)", large, largeResult, 1.1);
    PrintRow("small (5,000 x 2 KB)", small, smallResult, 1.2);
    std::printf("\nfloor: raw inflate from the package file read in 16 KiB pieces, plus CreateFileA/WriteFile/"
                "CloseHandle\n");
    std::printf("\nencrypted against plain, the worker on the same compressed data:\n");
    std::printf("%-22s %12s %14s  %6s  %-5s\n", "case", "plain ms", "encrypted ms", "ratio", "goal");
    PrintEncryptedRow("large (7 entries)", largeResult, 2.0);
    PrintEncryptedRow("small (5,000 x 2 KB)", smallResult, 0);
    // One line for the script to pick up and set beside the host's unzip.
    std::printf("worker_large_seconds=%.4f\n", largeResult.worker);
    return 0;
}
