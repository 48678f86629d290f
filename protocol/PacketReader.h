#pragma once
// Reads the fields of one received protocol packet without ever leaving its bytes.
//
// Every read checks the field against the bytes left: a string needs a length word of at least 1
// that ends inside the packet on a zero byte (its text is taken up to the first zero byte); a
// list count is refused when the bytes left could not hold that many items, before anything is
// allocated. A failed read returns false and every later read fails too. Bytes behind the last
// field read are ignored. Does not own the bytes; one thread at a time.
#include <string>
#include <vector>

#include "foundation/ByteOrder.h"
#include "foundation/Types.h"

namespace Quor::OrvaneProtocol {

class PacketReader {
public:
    // Reads from `offset` (the header size) on; an offset past the end fails every read.
    PacketReader(const BYTE* data, size_t size, size_t offset) : m_In(data, size) { m_In.Seek(offset); }

    bool Word(DWORD& value) { return m_In.U32(value); }
    bool Float(float& value);
    // Bit 0 of one byte.
    bool Flag(bool& value);
    bool String(std::string& text);
    // Empties `texts` first.
    bool Strings(std::vector<std::string>& texts);
    // Empties `values` first.
    bool Words(std::vector<DWORD>& values);

private:
    Vorn::Bytes::ByteReader m_In;
};

}  // namespace Quor::OrvaneProtocol
