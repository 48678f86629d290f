#pragma once
// Builds one protocol packet in one buffer: header, then fields in wire order.
//
// Words are little-endian and unaligned; a string is its length word (bytes + 1), its bytes and a
// zero byte; lists are a count word followed by their items. Finish() writes the total size into
// the first word; SendTo hands the finished packet to a transport. Owns its buffer; one thread at a time.
#include <cstring>
#include <string>
#include <vector>

#include "foundation/ByteOrder.h"
#include "foundation/Types.h"
#include "protocol/ISendPacket.h"

namespace Quor::OrvaneProtocol {

class PacketWriter {
public:
    // Request header: size, request id, type.
    static PacketWriter Request(DWORD type, DWORD requestId) {
        PacketWriter w;
        w.Word(0);
        w.Word(requestId);
        w.Word(type);
        return w;
    }
    // Response header: size, type, request id, result.
    static PacketWriter Response(DWORD type, DWORD requestId, HRESULT result) {
        PacketWriter w;
        w.Word(0);
        w.Word(type);
        w.Word(requestId);
        w.Word(static_cast<DWORD>(result));
        return w;
    }

    PacketWriter& Word(DWORD value) {
        m_Out.U32(value);
        return *this;
    }
    PacketWriter& Float(float value) {
        DWORD bits;
        static_assert(sizeof bits == sizeof value);
        std::memcpy(&bits, &value, sizeof bits);
        return Word(bits);
    }
    PacketWriter& Flag(bool value) {
        m_Out.U8(value ? 1 : 0);
        return *this;
    }
    PacketWriter& String(const std::string& text) {
        Word(static_cast<DWORD>(text.size() + 1));
        m_Out.Raw(text.data(), text.size());
        m_Out.U8(0);
        return *this;
    }
    PacketWriter& Strings(const std::vector<std::string>& texts) {
        Word(static_cast<DWORD>(texts.size()));
        for (const std::string& text : texts) String(text);
        return *this;
    }
    PacketWriter& Words(const std::vector<DWORD>& values) {
        Word(static_cast<DWORD>(values.size()));
        for (DWORD value : values) Word(value);
        return *this;
    }

    // Writes the size word; the packet is Data()[0, Size()).
    void Finish() { m_Out.PatchU32(0, static_cast<DWORD>(m_Bytes.size())); }
    // Finishes the packet and hands it to the transport in one call; its result is not passed on.
    void SendTo(ISendPacket& transport, DWORD connection) {
        Finish();
        transport.SendPacket(connection, Size(), Data());
    }
    const BYTE* Data() const { return m_Bytes.data(); }
    UINT Size() const { return static_cast<UINT>(m_Bytes.size()); }

private:
    PacketWriter() : m_Out(m_Bytes) { m_Bytes.reserve(128); }
    PacketWriter(PacketWriter&& other) noexcept : m_Bytes(std::move(other.m_Bytes)), m_Out(m_Bytes) {}

    std::vector<BYTE> m_Bytes;
    Vorn::Bytes::ByteWriter m_Out;
};

}  // namespace Quor::OrvaneProtocol
