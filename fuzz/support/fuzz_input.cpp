// The memfd behind every harness's input, and the check that ends a run.
#include "fuzz_input.h"

#include <fcntl.h>
#include <sanitizer/common_interface_defs.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

static int InputDescriptor = -1;        // made by the first LoadFuzzInput
static char InputPath[64];              // "/proc/self/fd/N" for that descriptor

SysFile LoadFuzzInput(const uint8_t* data, size_t size)
{
    if (InputDescriptor < 0) {
        InputDescriptor = memfd_create("fuzz-input", MFD_CLOEXEC);
        FuzzCheck(InputDescriptor >= 0, "memfd_create failed");
        snprintf(InputPath, sizeof InputPath, "/proc/self/fd/%d", InputDescriptor);
    }
    FuzzCheck(ftruncate(InputDescriptor, 0) == 0, "ftruncate of the input file failed");
    size_t written = 0;
    while (written < size) {
        ssize_t n = pwrite(InputDescriptor, data + written, size - written, (off_t)written);
        FuzzCheck(n > 0, "writing the input file failed");
        written += (size_t)n;
    }
    FuzzCheck(lseek(InputDescriptor, 0, SEEK_SET) == 0, "rewinding the input file failed");
    return (SysFile)(intptr_t)InputDescriptor;
}

const char* FuzzInputPath(void)
{
    return InputPath;
}

void FuzzCheck(int condition, const char* what)
{
    if (condition)
        return;
    // Through the sanitizers' report channel: scripts/fuzz.sh closes stderr
    // (the packer's messages), and libFuzzer hands that channel a copy.
    char message[256];
    snprintf(message, sizeof message, "fuzz check failed: %s", what);
    __sanitizer_report_error_summary(message);
    abort();
}
