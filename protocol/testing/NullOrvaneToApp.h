#pragma once
// Test helper: an IOrvaneToApp whose every operation does nothing. Derive from it and override the
// responses a test or benchmark takes. Holds no state; any thread may call it.
#include "protocol/IOrvaneToApp.h"

namespace QuorTest {

class NullOrvaneToApp : public Quor::OrvaneProtocol::IOrvaneToApp {
public:
    virtual ~NullOrvaneToApp() = default;
#define QUOR_NULL_RESPONSE(Name, TYPE, number, direction, ...) \
    QUOR_IF_RESPONSE_##direction(void Name##Response(          \
        const DWORD, const DWORD QUOR_RESPONSE_FIELDS_##Name(QUOR_FIELD_UNNAMED)) override{})
    QUOR_MESSAGES(QUOR_NULL_RESPONSE)
#undef QUOR_NULL_RESPONSE
    void RequestProgress(const DWORD, const DWORD, const DWORD, const DWORD, const DWORD, const DWORD,
                         const DWORD, const DWORD, const Quor::API::Progress::OperationType,
                         const Quor::API::Progress::StepType, const float, const float,
                         const std::string&) override {}
};

}  // namespace QuorTest
