#include "tests/kit/TestData.h"

#include <random>

namespace QuorTest {

std::string RandomBytes(size_t size, uint32_t seed) {
    std::mt19937_64 generator(seed);
    std::string bytes(size, '\0');
    size_t i = 0;
    while (i < size) {
        uint64_t value = generator();
        for (int b = 0; b < 8 && i < size; ++b, ++i) bytes[i] = static_cast<char>(value >> (8 * b));
    }
    return bytes;
}

std::string TextBytes(size_t size, uint32_t seed) {
    static const char* const kWords[] = {"release", "manifest", "archive", "progress", "folder",
                                         "update",  "install",  "patch",   "version",  "file"};
    std::mt19937 generator(seed);
    std::string text;
    text.reserve(size + 32);
    while (text.size() < size) {
        text += kWords[generator() % 10];
        text += (generator() % 8 == 0) ? '\n' : ' ';
        if (generator() % 5 == 0) text += std::to_string(generator() % 100000) + ' ';
    }
    text.resize(size);
    return text;
}

}  // namespace QuorTest
