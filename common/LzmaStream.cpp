#include "common/LzmaStream.h"

#include <lzma.h>

#include <cstdlib>
#include <cstring>

namespace Quor::Common {

static_assert(LzmaStream::kOk == LZMA_OK && LzmaStream::kStreamEnd == LZMA_STREAM_END &&
              LzmaStream::kMemError == LZMA_MEM_ERROR && LzmaStream::kOptionsError == LZMA_OPTIONS_ERROR &&
              LzmaStream::kDataError == LZMA_DATA_ERROR && LzmaStream::kBufError == LZMA_BUF_ERROR &&
              LzmaStream::kProgError == LZMA_PROG_ERROR);
static_assert(static_cast<int>(LzmaStream::kRun) == static_cast<int>(LZMA_RUN) &&
              static_cast<int>(LzmaStream::kFinish) == static_cast<int>(LZMA_FINISH));
static_assert(LzmaStream::kDefaultPreset == LZMA_PRESET_DEFAULT);

struct LzmaStream::State {
    lzma_stream stream = LZMA_STREAM_INIT;
    bool started = false;
};

LzmaStream::LzmaStream() : m_state(std::make_unique<State>()) {}

LzmaStream::~LzmaStream() { End(); }

LzmaStream::LzmaStream(LzmaStream&& other) noexcept : m_state(std::move(other.m_state)) {}

LzmaStream& LzmaStream::operator=(LzmaStream&& other) noexcept {
    if (this != &other) {
        End();
        m_state = std::move(other.m_state);
    }
    return *this;
}

int LzmaStream::InitRawEncoder(uint32_t preset, uint8_t& propertyByte) {
    End();
    if (!m_state) m_state = std::make_unique<State>();
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, preset)) return LZMA_OPTIONS_ERROR;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    uint8_t props[1] = {0};
    lzma_ret ret = lzma_properties_encode(&filters[0], props);
    if (ret != LZMA_OK) return ret;
    ret = lzma_raw_encoder(&m_state->stream, filters);
    if (ret != LZMA_OK) return ret;
    m_state->started = true;
    propertyByte = props[0];
    return LZMA_OK;
}

int LzmaStream::InitRawDecoder(uint8_t propertyByte, uint64_t maxOutput) {
    End();
    if (!m_state) m_state = std::make_unique<State>();
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA2, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_ret ret = lzma_properties_decode(&filters[0], nullptr, &propertyByte, 1);
    if (ret != LZMA_OK) return ret;
    auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
    if (maxOutput < options->dict_size)
        options->dict_size = maxOutput < LZMA_DICT_SIZE_MIN ? LZMA_DICT_SIZE_MIN : static_cast<uint32_t>(maxOutput);
    ret = lzma_raw_decoder(&m_state->stream, filters);
    free(filters[0].options);  // allocated by lzma_properties_decode with the default allocator
    if (ret != LZMA_OK) return ret;
    m_state->started = true;
    return LZMA_OK;
}

void LzmaStream::End() {
    if (m_state && m_state->started) {
        lzma_end(&m_state->stream);
        m_state->stream = LZMA_STREAM_INIT;
        m_state->started = false;
    }
}

bool LzmaStream::IsStarted() const { return m_state && m_state->started; }

void LzmaStream::SetInput(const void* data, size_t size) {
    if (!m_state) m_state = std::make_unique<State>();
    m_state->stream.next_in = static_cast<const uint8_t*>(data);
    m_state->stream.avail_in = size;
}

void LzmaStream::SetOutput(void* data, size_t size) {
    if (!m_state) m_state = std::make_unique<State>();
    m_state->stream.next_out = static_cast<uint8_t*>(data);
    m_state->stream.avail_out = size;
}

int LzmaStream::Code(Action action) {
    if (!IsStarted()) return LZMA_PROG_ERROR;
    return lzma_code(&m_state->stream, static_cast<lzma_action>(action));
}

size_t LzmaStream::AvailIn() const { return m_state ? m_state->stream.avail_in : 0; }
size_t LzmaStream::AvailOut() const { return m_state ? m_state->stream.avail_out : 0; }
uint64_t LzmaStream::TotalIn() const { return m_state ? m_state->stream.total_in : 0; }
uint64_t LzmaStream::TotalOut() const { return m_state ? m_state->stream.total_out : 0; }

uint32_t LzmaStream::DictionarySize(uint8_t propertyByte) {
    if (propertyByte > 40) return 0;
    if (propertyByte == 40) return 0xFFFFFFFFu;
    return (2u | (propertyByte & 1u)) << (propertyByte / 2 + 11);
}

}  // namespace Quor::Common
