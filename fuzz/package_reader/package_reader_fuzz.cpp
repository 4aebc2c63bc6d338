// Fuzz target: the packer's package reader, through what `sfxpack inspect`
// (as text and as JSON) and `sfxpack test` do with a package. The input is
// a whole package file, opened by name. The packer reports bad packages by
// throwing PackerError; any other exception that escapes is a finding, and
// libFuzzer reports it as the abort that follows.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "commands.h"
#include "crypto/crypto_state.h"
#include "packer_error.h"
#include "support/fuzz_input.h"

// The seed packages' password; fuzz/seeds/make_seeds.cpp uses the same.
static const char PasswordVariable[] = "SFX_FUZZ_PASSWORD";
static const char FuzzPassword[] = "fuzz";

static FILE* Output;                    // /dev/null: listings are made, not read

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Output = fopen("/dev/null", "w");
    FuzzCheck(Output != NULL, "cannot open /dev/null");
    FuzzCheck(setenv(PasswordVariable, FuzzPassword, 1) == 0, "cannot set the password variable");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    LoadFuzzInput(data, size);
    const packer::fs::path path = FuzzInputPath();
    for (bool json : { false, true }) {
        try {
            packer::InspectPackage(path, json, Output);
        } catch (const packer::PackerError&) {
        }
    }
    packer::PasswordSource password;
    password.environment = PasswordVariable;
    try {
        packer::TestPackage(path, password, false, Output);
    } catch (const packer::PackerError&) {
    }
    // A closed package must not leave the stub's cipher keyed for the next.
    FuzzCheck(ActiveCipher == NULL, "the cipher outlived its package");
    ReleaseReaderMemory();
    return 0;
}
