#include "temp_path.h"
#include "support/package_assembly.h"

#include <atomic>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    fs::path base = fs::temp_directory_path();
    for (;;) {
        fs::path candidate = base / ("sfxtest-" + std::to_string(random()) + "-" + std::to_string(counter++));
        if (fs::create_directory(candidate)) {
            path_ = candidate.string();
            return;
        }
    }
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, const packaging::Bytes& bytes) const
{
    std::string file = (fs::path(path_) / name).string();
    packaging::writeFileBytes(file, bytes);
    return file;
}
