#include "common/LzmaContainer.h"

#include "common/LzmaStream.h"
#include "foundation/ByteOrder.h"

namespace Quor::Common::LzmaContainer {

namespace {

int FromCoder(int coderResult) {
    switch (coderResult) {
        case LzmaStream::kMemError: return kMemError;
        case LzmaStream::kOptionsError: return kUnsupported;
        default: return kDataError;
    }
}

}  // namespace

int Encode(IByteReader& in, uint64_t size, IByteWriter& out) {
    LzmaStream stream;
    uint8_t property = 0;
    if (stream.InitRawEncoder(LzmaStream::kDefaultPreset, property) != LzmaStream::kOk) return kMemError;

    uint8_t header[kHeaderSize];
    header[0] = property;
    Vorn::Bytes::StoreLE64(header + 1, size);
    if (out.Write(header, kHeaderSize) != kHeaderSize) return kWriteError;

    uint8_t inBuffer[kBufferSize];
    uint8_t outBuffer[kBufferSize];
    uint64_t totalRead = 0;
    bool endOfInput = false;
    for (;;) {
        if (stream.AvailIn() == 0 && !endOfInput) {
            size_t count = kBufferSize;
            int result = in.Read(inBuffer, count);
            if (result != kOk) return result;
            totalRead += count;
            endOfInput = count == 0;
            stream.SetInput(inBuffer, count);
        }
        stream.SetOutput(outBuffer, kBufferSize);
        int ret = stream.Code(endOfInput ? LzmaStream::kFinish : LzmaStream::kRun);
        size_t produced = kBufferSize - stream.AvailOut();
        if (produced != 0 && out.Write(outBuffer, produced) != produced) return kWriteError;
        if (ret == LzmaStream::kStreamEnd) break;
        if (ret != LzmaStream::kOk) return FromCoder(ret);
    }
    if (size != kUnknownSize && totalRead != size) return kDataError;
    return kOk;
}

int Decode(IByteReader& in, IByteWriter* out, uint64_t* decodedSize, uint64_t limit) {
    uint64_t produced = 0;
    struct Report {
        uint64_t& produced;
        uint64_t* target;
        ~Report() {
            if (target) *target = produced;
        }
    } report{produced, decodedSize};

    uint8_t header[kHeaderSize];
    size_t headerSize = kHeaderSize;
    int result = in.Read(header, headerSize);
    if (result != kOk) return result;
    if (headerSize < kHeaderSize) return kDataError;
    const uint64_t size = Vorn::Bytes::LoadLE64(header + 1);
    const bool sizeKnown = size != kUnknownSize;
    const bool bounded = limit != kUnknownSize;
    if (sizeKnown && bounded && size > limit) return kDataError;

    LzmaStream stream;
    int ret = stream.InitRawDecoder(header[0], size);
    if (ret != LzmaStream::kOk) return FromCoder(ret);

    uint8_t inBuffer[kBufferSize];
    uint8_t outBuffer[kBufferSize];
    size_t inPos = 0;
    size_t inSize = 0;
    uint64_t remaining = size;
    for (;;) {
        if (sizeKnown && remaining == 0) return kOk;
        if (inPos == inSize) {
            size_t count = kBufferSize;
            result = in.Read(inBuffer, count);
            if (result != kOk) return result;
            inPos = 0;
            inSize = count;
        }
        size_t outCapacity = kBufferSize;
        if (sizeKnown && remaining < outCapacity) outCapacity = static_cast<size_t>(remaining);
        // One byte past the limit is room enough to tell that the stream holds more.
        if (!sizeKnown && bounded && limit - produced < outCapacity)
            outCapacity = static_cast<size_t>(limit - produced) + 1;
        stream.SetInput(inBuffer + inPos, inSize - inPos);
        stream.SetOutput(outBuffer, outCapacity);
        ret = stream.Code(LzmaStream::kRun);
        const size_t consumed = (inSize - inPos) - stream.AvailIn();
        const size_t made = outCapacity - stream.AvailOut();
        inPos += consumed;
        if (bounded && made > limit - produced) return kDataError;  // the stream holds more
        produced += made;
        if (sizeKnown) remaining -= made;
        if (made != 0 && out && out->Write(outBuffer, made) != made) return kWriteError;
        if (ret == LzmaStream::kStreamEnd) {
            // The end marker: complete for an unknown size; for a known one only when it was reached.
            return sizeKnown && remaining != 0 ? kDataError : kOk;
        }
        if (ret != LzmaStream::kOk) return FromCoder(ret);
        if (consumed == 0 && made == 0) {
            // No progress: the input ended inside the stream.
            return sizeKnown && remaining == 0 ? kOk : kDataError;
        }
    }
}

int DecodeInto(const void* input, size_t length, void* out, size_t size, size_t& decoded) {
    decoded = 0;
    if (!input || length < kHeaderSize) return kDataError;
    const auto* bytes = static_cast<const uint8_t*>(input);
    const uint64_t stated = Vorn::Bytes::LoadLE64(bytes + 1);
    const bool sizeKnown = stated != kUnknownSize;
    if (sizeKnown && stated != size) return kDataError;

    LzmaStream stream;
    int ret = stream.InitRawDecoder(bytes[0], size);
    if (ret != LzmaStream::kOk) return FromCoder(ret);
    stream.SetInput(bytes + kHeaderSize, length - kHeaderSize);
    stream.SetOutput(out, size);
    while (decoded < size) {
        ret = stream.Code(LzmaStream::kRun);
        decoded = size - stream.AvailOut();
        if (ret == LzmaStream::kStreamEnd) return decoded == size ? kOk : kDataError;
        if (ret != LzmaStream::kOk) return FromCoder(ret);
        if (decoded < size && stream.AvailIn() == 0) return kDataError;  // the input ended inside the stream
    }
    if (sizeKnown) return kOk;  // what follows the stated size is not read

    // Unknown size: the end marker must come before another byte.
    uint8_t beyond = 0;
    for (;;) {
        stream.SetOutput(&beyond, 1);
        ret = stream.Code(LzmaStream::kRun);
        if (stream.AvailOut() == 0) return kDataError;  // the stream holds more
        if (ret == LzmaStream::kStreamEnd) return kOk;
        if (ret != LzmaStream::kOk) return FromCoder(ret);
        if (stream.AvailIn() == 0) return kDataError;
    }
}

}  // namespace Quor::Common::LzmaContainer
