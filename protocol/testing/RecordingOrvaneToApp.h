#pragma once
// Test double of the client side of the protocol: records every response and progress report it
// receives as a RecordedCall (result in `hr`, words in `words`, string arrays in `list`, version
// lists in `versions`, progress times in `floats`; RequestProgress's operation and step types are
// its 7th and 8th word). Any thread may call it.
#include "protocol/IOrvaneToApp.h"
#include "protocol/testing/RecordedCall.h"

namespace QuorTest {

class RecordingOrvaneToApp final : public Quor::OrvaneProtocol::IOrvaneToApp {
public:
    CallLog log;

#define QUOR_RECORD_RESPONSE(Name, TYPE, number, direction, ...)            \
    QUOR_IF_RESPONSE_##direction(QUOR_RESPONSE_SIGNATURE(, Name) override { \
        QUOR_RECORD_CALL(#Name "Response", QUOR_RESPONSE_FIELDS_##Name);    \
    })
    QUOR_MESSAGES(QUOR_RECORD_RESPONSE)
#undef QUOR_RECORD_RESPONSE
    void RequestProgress(const DWORD r, const DWORD id, const DWORD c1, const DWORD c2, const DWORD c3,
                         const DWORD c4, const DWORD bytesDownloaded, const DWORD bytesToDownload,
                         const Quor::API::Progress::OperationType operationType,
                         const Quor::API::Progress::StepType stepType, const float elapsed,
                         const float remaining, const std::string& item) override {
        log.Record(RecordedCall("RequestProgress", r, id)
                       .Word(c1)
                       .Word(c2)
                       .Word(c3)
                       .Word(c4)
                       .Word(bytesDownloaded)
                       .Word(bytesToDownload)
                       .Word(operationType)
                       .Word(stepType)
                       .Float(elapsed)
                       .Float(remaining)
                       .Text(item));
    }
};

}  // namespace QuorTest
