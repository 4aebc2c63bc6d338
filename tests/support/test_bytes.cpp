#include "support/test_bytes.h"

#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

using packaging::Bytes;

Bytes B(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

Bytes RandomBytes(std::mt19937& random, std::size_t size)
{
    Bytes bytes(size);
    for (std::uint8_t& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

Bytes NoiseBytes(std::size_t size, std::uint32_t seed)
{
    std::mt19937 random(seed);
    return RandomBytes(random, size);
}

Bytes SomeBytes(std::size_t size, std::uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (std::uint8_t& b : bytes)
        b = static_cast<std::uint8_t>('a' + random() % 20);
    return bytes;
}

Bytes TextBytes(std::size_t size)
{
    Bytes bytes;
    for (unsigned line = 0; bytes.size() < size; line++) {
        std::string text = "line " + std::to_string(line) + ": the quick brown fox\n";
        bytes.insert(bytes.end(), text.begin(), text.end());
    }
    bytes.resize(size);
    return bytes;
}

Bytes MixedBytes(std::size_t size, std::uint32_t seed)
{
    static const char* const words[] = {"archive ", "entry ", "the ", "data ", "inflate ", "window ",
                                        "Setup ",   "\r\n",   "0x1F ", "chunk "};
    Bytes out;
    out.reserve(size);
    std::uint32_t state = seed * 2654435761u + 1;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    while (out.size() < size) {
        std::uint32_t r = next();
        if (r % 4 == 0) {
            // a run of binary noise that deflate cannot shrink
            std::size_t run = 16 + r % 200;
            for (std::size_t i = 0; i < run && out.size() < size; i++)
                out.push_back(static_cast<std::uint8_t>(next()));
        } else {
            for (int w = 0; w < 12 && out.size() < size; w++) {
                const char* word = words[next() % 10];
                for (const char* c = word; *c && out.size() < size; c++)
                    out.push_back(static_cast<std::uint8_t>(*c));
            }
        }
    }
    return out;
}

Bytes ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path.u8string();
}
