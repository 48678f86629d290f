#pragma once
// Test helper: an IAppToOrvane whose every operation does nothing. Derive from it and override the
// requests a test or benchmark answers. Holds no state; any thread may call it.
#include "protocol/IAppToOrvane.h"

namespace QuorTest {

class NullAppToOrvane : public Quor::OrvaneProtocol::IAppToOrvane {
public:
    ~NullAppToOrvane() override = default;
#define QUOR_NULL_REQUEST(Name, TYPE, number, direction, ...) \
    QUOR_IF_REQUEST_##direction(void Name##Request(           \
        const DWORD, const DWORD QUOR_REQUEST_FIELDS_##Name(QUOR_FIELD_UNNAMED)) override{})
    QUOR_MESSAGES(QUOR_NULL_REQUEST)
#undef QUOR_NULL_REQUEST
};

}  // namespace QuorTest
