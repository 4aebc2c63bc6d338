// The system's cryptographic random source: BCryptGenRandom on Windows,
// getrandom() on Linux.
#include "system_random.h"

#include <cerrno>
#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>
#else
#include <sys/random.h>
#endif

namespace packaging {

void systemRandomFill(std::uint8_t* out, std::size_t size)
{
#ifdef _WIN32
    while (size > 0) {
        ULONG part = size > 0x10000 ? 0x10000 : static_cast<ULONG>(size);
        NTSTATUS status = BCryptGenRandom(nullptr, out, part, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
        if (status != 0)
            throw std::runtime_error("BCryptGenRandom failed: " + std::to_string(status));
        out += part;
        size -= part;
    }
#else
    while (size > 0) {
        ssize_t got = getrandom(out, size, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("getrandom failed: errno " + std::to_string(errno));
        }
        out += got;
        size -= static_cast<std::size_t>(got);
    }
#endif
}

}  // namespace packaging
