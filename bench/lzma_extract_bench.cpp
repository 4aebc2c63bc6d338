// Extraction of LZMA packages against deflated ones: the extraction worker
// on two packages the packer made of the same files, one with
// `--compression deflate`, one with `--compression lzma`, in this process
// under Wine. The two take turns, the order alternating from round to round
// so that a slow phase of a busy machine hits both alike; each time is the
// best of the rounds, and the ratio LZMA over deflate is printed beside
// them. LZMA decoding is expected to be slower; the ratio says how much.
// Loading a package and the worker's cleanup are not timed.
//   bash bench/lzma_extract_bench.sh
// Without the script (64-bit Windows build, under Wine):
//   scripts/wine-run.sh build/win64/bin/lzma_extract_bench.exe DEFLATED.exe LZMA.exe [ROUNDS]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "extract/win32/cleanup_journal.h"
#include "extract/win32/extract_state.h"
#include "extract/win32/extraction_worker.h"
#include "extract/win32/target_folder.h"
#include "resource_ids.h"
#include "startup/trailer.h"
#include "startup/win32/config_trailer.h"
#include "support/temp_path.h"
#include "wizard/frame_link.h"

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kDefaultRounds = 5;

// Points the stub's globals at the package, as the stub does at start.
bool Load(const char* package)
{
    if (ModuleFile != SYS_FILE_INVALID)
        SysFileClose(ModuleFile);
    ResetSettings(&SfxSettings);
    ModuleFile = SysFileOpenRead(package);
    const uint8_t* block;
    uint32_t length;
    return ModuleFile != SYS_FILE_INVALID && ReadTrailer(ModuleFile, 9, &SfxSettings, &block, &length) == TRAILER_OK;
}

// One extraction of the loaded package into folder, timed; the bytes it
// wrote in *bytes, 0 when the worker did not finish.
double TimeWorker(const std::string& folder, std::uint64_t* bytes)
{
    lstrcpyA(TargetFolder, folder.c_str());
    CancelRequested = 0;
    auto start = Clock::now();
    ExtractionWorker(nullptr);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    MSG msg;
    WPARAM command = 0;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message == WM_COMMAND)
            command = msg.wParam;
    *bytes = command == IDC_NEXT ? BytesDone : 0;
    RunCleanup();
    return seconds;
}

long long FileSize(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return -1;
    return static_cast<long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: lzma_extract_bench DEFLATED.exe LZMA.exe [ROUNDS]\n");
        return 2;
    }
    const char* packages[2] = {argv[1], argv[2]};
    int rounds = argc == 4 ? std::atoi(argv[3]) : kDefaultRounds;
    if (rounds < 1)
        rounds = 1;
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    TempDir dir;
    double best[2] = {1e30, 1e30};
    std::uint64_t bytes[2] = {0, 0};
    for (int round = 0; round < rounds; round++) {
        for (int turn = 0; turn < 2; turn++) {
            int which = (round + turn) % 2;
            if (!Load(packages[which])) {
                std::fprintf(stderr, "cannot load %s\n", packages[which]);
                return 1;
            }
            std::uint64_t done = 0;
            best[which] = std::min(best[which], TimeWorker(dir.path(), &done));
            if (done == 0) {
                std::fprintf(stderr, "the worker did not finish %s\n", packages[which]);
                return 1;
            }
            bytes[which] = done;
        }
    }
    SysFileClose(ModuleFile);
    ModuleFile = SYS_FILE_INVALID;
    if (bytes[0] != bytes[1]) {
        std::fprintf(stderr, "the packages hold different data: %llu and %llu bytes\n",
                     static_cast<unsigned long long>(bytes[0]), static_cast<unsigned long long>(bytes[1]));
        return 1;
    }

    double mb = static_cast<double>(bytes[0]) / (1 << 20);
    std::printf("%.1f MB of files, best of %d rounds, the two packages taking turns\n\n", mb, rounds);
    std::printf("%-10s %14s %12s %10s\n", "package", "package bytes", "worker ms", "MB/s");
    const char* names[2] = {"deflate", "lzma"};
    for (int i = 0; i < 2; i++)
        std::printf("%-10s %14lld %12.1f %10.1f\n", names[i], FileSize(packages[i]), best[i] * 1e3, mb / best[i]);
    std::printf("\nlzma / deflate: time %.2f, package size %.3f\n", best[1] / best[0],
                static_cast<double>(FileSize(packages[1])) / static_cast<double>(FileSize(packages[0])));
    return 0;
}
