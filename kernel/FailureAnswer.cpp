#include "kernel/FailureAnswer.h"

#include <string>
#include <vector>

#include "protocol/PacketType.h"

namespace Quor::Orvane {

using namespace Quor::OrvaneProtocol;

void AnswerFailure(IOrvaneToApp& answers, DWORD requester, DWORD requestId, DWORD type, HRESULT hr) {
    switch (type) {
#define QUOR_ANSWER_FAILURE(Name, TYPE, number, direction, ...)                                         \
    QUOR_IF_RESPONSE_##direction(                                                                       \
        case PACKET_TYPE_##TYPE                                                                         \
        : answers.Name##Response(requester, requestId QUOR_RESPONSE_FIELDS_##Name(QUOR_FIELD_FAILURE)); \
        break;)
        QUOR_MESSAGES(QUOR_ANSWER_FAILURE)
#undef QUOR_ANSWER_FAILURE
        default:
            break;  // Cancel has no answer; unknown types get none
    }
}

}  // namespace Quor::Orvane
