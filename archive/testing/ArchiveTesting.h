#pragma once
// Helpers shared by the archive tests: a log recorder, file contents made from a seed, and a
// direct reader of a stored file's bytes. Test code only; not thread-safe.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "common/Log.h"

namespace ArchiveTesting {

// Records every log line of ERROR level (or the level given) and below while it lives; the level
// is ERROR again afterwards.
class LogRecorder final : public Quor::Log::IWrite {
public:
    explicit LogRecorder(Quor::Log::TYPE level = Quor::Log::ERROR) {
        Quor::Log::SetLogLevel(level);
        Quor::Log::SetIWrite(this);
    }
    ~LogRecorder() {
        Quor::Log::SetIWrite(nullptr);
        Quor::Log::SetLogLevel(Quor::Log::ERROR);
    }
    void Write(Quor::Log::TYPE, const char*, const char* text) override {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Lines.emplace_back(text);
    }
    bool Contains(const std::string& text) const {
        std::lock_guard<std::mutex> lock(m_Mutex);
        for (const std::string& line : m_Lines)
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
    std::string All() const {
        std::lock_guard<std::mutex> lock(m_Mutex);
        std::string all;
        for (const std::string& line : m_Lines) all += line + "\n";
        return all;
    }

private:
    mutable std::mutex m_Mutex;
    std::vector<std::string> m_Lines;
};

// `size` bytes that depend on seed and position (xorshift), so every version of every file differs.
inline std::string Content(uint64_t seed, size_t size) {
    std::string bytes(size, '\0');
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        bytes[i] = static_cast<char>(x >> 24);
    }
    return bytes;
}

// `size` bytes at `offset` of a file ("" with a failure when it cannot be read).
std::string ReadStretch(const std::string& path, uint64_t offset, uint64_t size);

}  // namespace ArchiveTesting
