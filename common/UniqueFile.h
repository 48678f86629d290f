#pragma once
// Owner of one C stream (FILE*): the stream is closed with fclose when the owner dies.
//
// Close() closes it early and reports whether the close (and so the final flush) succeeded, which
// a writer must check before it reports success. Not thread-safe; move-only.
#include <cstdio>
#include <memory>

namespace Quor::Common {

struct StreamCloser {
    void operator()(FILE* stream) const {
        if (stream) std::fclose(stream);
    }
};

class UniqueFile {
public:
    UniqueFile() = default;
    explicit UniqueFile(FILE* stream) : m_stream(stream) {}

    FILE* get() const { return m_stream.get(); }
    explicit operator bool() const { return m_stream != nullptr; }
    void reset(FILE* stream = nullptr) { m_stream.reset(stream); }
    FILE* release() { return m_stream.release(); }

    // Closes the stream now; true when there was one and fclose succeeded.
    bool Close() {
        FILE* stream = m_stream.release();
        return stream && std::fclose(stream) == 0;
    }

private:
    std::unique_ptr<FILE, StreamCloser> m_stream;
};

}  // namespace Quor::Common
