#pragma once
// A byte writer for the decoders (LzmaContainer::IByteWriter) that computes the MD5 of every byte
// it takes and, when it was given a file, writes the bytes there as they come: a downloaded file is
// decoded, written to its place and checked in one pass, without reading it back.
//
// Owns the descriptor it is given. A write that the file does not take whole is reported as 0 bytes
// taken (the decoder then fails). Matches ends the digest at its first call. One thread.
#include <cstddef>

#include "common/LzmaContainer.h"
#include "foundation/UniqueFd.h"
#include "remote/MD5.h"

namespace Quor::User {

class HashingWriter final : public Common::LzmaContainer::IByteWriter {
public:
    HashingWriter() = default;  // hashes only
    explicit HashingWriter(Vorn::UniqueFd file) : m_File(std::move(file)) {}

    size_t Write(const void* data, size_t size) override;
    // True when the digest of everything taken equals expected.
    bool Matches(const MD5::DIGEST& expected);
    // Closes the file now; false when the close failed.
    bool Close();

private:
    Vorn::UniqueFd m_File;
    MD5 m_Md5;
    bool m_Final = false;
};

}  // namespace Quor::User
