#pragma once
// The request classes: one per kernel request, each the request's result fields, the storing of
// its response (OnResponse, called by the manager's worker) and its result view.
//
// Result fields start at 0 or empty. OnResponse stores under the request's lock and completes the
// request; Fail completes it with a failure code instead (connection lost, request not sent).
// Threads as for Base. The classes are expanded from the message table (protocol/Messages.h).
#include <memory>
#include <string>
#include <vector>

#include "api/RPC/Requests.h"
#include "api/RequestBase.h"
#include "protocol/Messages.h"

namespace Quor::API::Impl::RPC {

// A result member per response field but the result; a CODE row keeps the result as m_Code, also
// when the request fails.
#define QUOR_FIELD_MEMBER(kind, name, ...) \
    QUOR_FIELD_IF_VALUE_##kind(QUOR_FIELD_VALUE_##kind m_##name GUARDED_BY(ResultMutex()){};)
// clang-format off
#define QUOR_RESULT_MEMBERS_CODE                                  \
protected:                                                        \
    void StoreFailureLocked(HRESULT hr) override REQUIRES(ResultMutex()) { m_Code = hr; } \
                                                                  \
private:                                                          \
    HRESULT m_Code GUARDED_BY(ResultMutex()) = 0;
#define QUOR_RESULT_MEMBERS_STATUS
#define QUOR_RESULT_MEMBERS_NONE

// One class per request with a response: OnResponse takes the row's response fields.
#define QUOR_DECLARE_REQUEST_CLASS(Name, TYPE, number, direction, requestLog, responseLog, view, ...) \
    QUOR_IF_RESPONSE_##direction(                                                                     \
    class Name final : public Base, public Quor::API::RPC::I##Name {                                  \
    public:                                                                                           \
        using Base::Base;                                                                             \
        HRESULT OnResponse(QUOR_TAIL(QUOR_RESPONSE_FIELDS_##Name(QUOR_FIELD_PARAM)));                 \
        std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;                                \
        QUOR_RESULT_MEMBERS_##view                                                                    \
                                                                                                      \
    private:                                                                                          \
        class AutoLockResult;                                                                         \
        QUOR_RESPONSE_FIELDS_##Name(QUOR_FIELD_MEMBER)                                                \
    };)
// clang-format on
QUOR_MESSAGES(QUOR_DECLARE_REQUEST_CLASS)
#undef QUOR_DECLARE_REQUEST_CLASS
#undef QUOR_RESULT_MEMBERS_NONE
#undef QUOR_RESULT_MEMBERS_STATUS
#undef QUOR_RESULT_MEMBERS_CODE
#undef QUOR_FIELD_MEMBER

}  // namespace Quor::API::Impl::RPC
