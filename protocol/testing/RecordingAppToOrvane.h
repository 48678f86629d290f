#pragma once
// Test double of the kernel side of the protocol: records every request it receives as a
// RecordedCall (strings in `texts`, version/flags/handle words in `words`, the two flag bytes of
// InstallSolutionReleaseByProjectVersion in `flags`). Any thread may call it.
#include "protocol/IAppToOrvane.h"
#include "protocol/testing/RecordedCall.h"

namespace QuorTest {

class RecordingAppToOrvane final : public Quor::OrvaneProtocol::IAppToOrvane {
public:
    CallLog log;

#define QUOR_RECORD_REQUEST(Name, TYPE, number, direction, ...)           \
    QUOR_IF_REQUEST_##direction(QUOR_REQUEST_SIGNATURE(, Name) override { \
        QUOR_RECORD_CALL(#Name "Request", QUOR_REQUEST_FIELDS_##Name);    \
    })
    QUOR_MESSAGES(QUOR_RECORD_REQUEST)
#undef QUOR_RECORD_REQUEST
};

}  // namespace QuorTest
