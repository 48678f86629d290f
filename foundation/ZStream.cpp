#include "foundation/ZStream.h"

#include <zlib.h>

#include <cstring>

namespace Vorn {

static_assert(ZStream::kOk == Z_OK && ZStream::kStreamEnd == Z_STREAM_END && ZStream::kNeedDict == Z_NEED_DICT &&
              ZStream::kErrno == Z_ERRNO && ZStream::kStreamError == Z_STREAM_ERROR &&
              ZStream::kDataError == Z_DATA_ERROR && ZStream::kMemError == Z_MEM_ERROR &&
              ZStream::kBufError == Z_BUF_ERROR && ZStream::kVersionError == Z_VERSION_ERROR);
static_assert(ZStream::kNoFlush == Z_NO_FLUSH && ZStream::kSyncFlush == Z_SYNC_FLUSH && ZStream::kFinish == Z_FINISH);
static_assert(ZStream::kDefaultLevel == Z_DEFAULT_COMPRESSION);

struct ZStream::State {
    enum Kind { kNone, kInflating, kDeflating };
    z_stream stream;
    Kind kind = kNone;

    State() { std::memset(&stream, 0, sizeof stream); }
    ~State() { End(); }
    void End() {
        if (kind == kInflating) inflateEnd(&stream);
        if (kind == kDeflating) deflateEnd(&stream);
        kind = kNone;
        std::memset(&stream, 0, sizeof stream);
    }
};

ZStream::ZStream() : m_state(new State) {}
ZStream::~ZStream() = default;
ZStream::ZStream(ZStream&&) noexcept = default;
ZStream& ZStream::operator=(ZStream&&) noexcept = default;

int ZStream::InitInflate(int windowBits) {
    if (!m_state) m_state.reset(new State);
    m_state->End();
    const int rc = inflateInit2(&m_state->stream, windowBits);
    if (rc == Z_OK) m_state->kind = State::kInflating;
    return rc;
}

int ZStream::InitDeflate(int level, int windowBits) {
    if (!m_state) m_state.reset(new State);
    m_state->End();
    const int rc = deflateInit2(&m_state->stream, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    if (rc == Z_OK) m_state->kind = State::kDeflating;
    return rc;
}

void ZStream::End() {
    if (m_state) m_state->End();
}

bool ZStream::IsStarted() const { return m_state && m_state->kind != State::kNone; }

void ZStream::SetInput(const void* data, uint32_t size) {
    if (!m_state) return;
    // zlib never writes through next_in; its type predates const.
    m_state->stream.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    m_state->stream.avail_in = size;
}

void ZStream::SetOutput(void* data, uint32_t size) {
    if (!m_state) return;
    m_state->stream.next_out = static_cast<Bytef*>(data);
    m_state->stream.avail_out = size;
}

int ZStream::Inflate(Flush flush) {
    if (!m_state || m_state->kind != State::kInflating) return kStreamError;
    return inflate(&m_state->stream, flush);
}

int ZStream::Deflate(Flush flush) {
    if (!m_state || m_state->kind != State::kDeflating) return kStreamError;
    return deflate(&m_state->stream, flush);
}

int ZStream::Reset() {
    if (!m_state) return kStreamError;
    if (m_state->kind == State::kInflating) return inflateReset(&m_state->stream);
    if (m_state->kind == State::kDeflating) return deflateReset(&m_state->stream);
    return kStreamError;
}

uint32_t ZStream::AvailIn() const { return m_state ? m_state->stream.avail_in : 0; }
uint32_t ZStream::AvailOut() const { return m_state ? m_state->stream.avail_out : 0; }
uint64_t ZStream::TotalIn() const { return m_state ? m_state->stream.total_in : 0; }
uint64_t ZStream::TotalOut() const { return m_state ? m_state->stream.total_out : 0; }

const char* ZStream::Message() const { return m_state && m_state->stream.msg ? m_state->stream.msg : ""; }

size_t ZStream::DeflateBound(size_t size) { return compressBound(static_cast<uLong>(size)); }

}  // namespace Vorn
