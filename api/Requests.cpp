#include "api/Requests.h"

#include "common/Log.h"

namespace Quor::API::Impl::RPC {

using Quor::Log::VERBOSE;

namespace {
const char* Outcome(HRESULT hr) {
    return SUCCEEDED(hr) ? "SUCCEEDED" : "FAILED";
}
}  // namespace

// A getter of the result view, defined: QUOR_GETTER_DEF_<shape>(type, Getter, member). The view
// holds the request's result lock from its construction to its destruction.
// clang-format off
#define QUOR_VIEW_HOLDS_LOCK REQUIRES(m_Request.ResultMutex())
#define QUOR_GETTER_DEF_VALUE(type, Getter, member) \
    type Getter() const override QUOR_VIEW_HOLDS_LOCK { return m_Request.member; }
#define QUOR_GETTER_DEF_REF(type, Getter, member) \
    const type& Getter() const override QUOR_VIEW_HOLDS_LOCK { return m_Request.member; }
#define QUOR_GETTER_DEF_OUT(type, Getter, member) \
    void Getter(type& out) const override QUOR_VIEW_HOLDS_LOCK { out = m_Request.member; }
#define QUOR_GETTER_DEF(kind, name, Getter, shape) \
    QUOR_GETTER_DEF_##shape(QUOR_FIELD_VALUE_##kind, Getter, m_##name)
#define QUOR_FIELD_GETTER_DEF(kind, ...) QUOR_FIELD_IF_VALUE_##kind(QUOR_GETTER_DEF(kind, __VA_ARGS__))
#define QUOR_HRESULT_DEF_CODE HRESULT GetHResult() const override QUOR_VIEW_HOLDS_LOCK { return m_Request.m_Code; }
#define QUOR_HRESULT_DEF_STATUS HRESULT GetHResult() const override { return m_Request.Status(); }
#define QUOR_HRESULT_DEF_NONE
// clang-format on

// Storing a response field under the request's lock: the result as the row's view keeps it.
#define QUOR_FIELD_STORE_CODE(kind, name, ...) \
    QUOR_FIELD_IF_VALUE_##kind(m_##name = name;) QUOR_FIELD_IF_RESULT_##kind(m_Code = name;)
#define QUOR_FIELD_STORE_STATUS(kind, name, ...) \
    QUOR_FIELD_IF_VALUE_##kind(m_##name = name;) QUOR_FIELD_IF_RESULT_##kind(SetStatus(name);)
#define QUOR_FIELD_STORE_NONE(kind, name, ...) QUOR_FIELD_IF_VALUE_##kind(m_##name = name;)

// OnResponse's line: QUOR_ARRIVAL_LOG_<arrivalLog>(FIELDS).
#define QUOR_ARRIVAL_LOG_OUTCOME(FIELDS) QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr))
#define QUOR_ARRIVAL_LOG_LABELLED(FIELDS) QUOR_LOG(VERBOSE, "Result: 0x%08x (%s)", hr, Outcome(hr))
// Each field's fragment opens with ", "; the line starts after the first one.
#define QUOR_ARRIVAL_LOG_FIELDS(FIELDS) \
    QUOR_LOG(VERBOSE, &("" FIELDS(QUOR_FIELD_FORMAT))[2] FIELDS(QUOR_FIELD_LOG_ARG))

// clang-format off
#define QUOR_DEFINE_REQUEST_CLASS(Name, TYPE, number, direction, requestLog, responseLog, view, arrivalLog) \
    QUOR_IF_RESPONSE_##direction(                                                                        \
    class Name::AutoLockResult final : public I##Name::IAutoLockResult {                                 \
    public:                                                                                              \
        explicit AutoLockResult(const Name& request) : m_Request(request), m_Lock(request.ResultMutex()) {} \
        QUOR_HRESULT_DEF_##view                                                                          \
        QUOR_RESPONSE_FIELDS_##Name(QUOR_FIELD_GETTER_DEF)                                               \
                                                                                                         \
    private:                                                                                             \
        const Name& m_Request;                                                                           \
        Vorn::AnnotatedLockGuard m_Lock;                                                                 \
    };                                                                                                   \
                                                                                                         \
    HRESULT Name::OnResponse(QUOR_TAIL(QUOR_RESPONSE_FIELDS_##Name(QUOR_FIELD_PARAM))) {                 \
        QUOR_ARRIVAL_LOG_##arrivalLog(QUOR_RESPONSE_FIELDS_##Name);                                      \
        {                                                                                                \
            Vorn::AnnotatedLockGuard lock(ResultMutex());                                                \
            QUOR_RESPONSE_FIELDS_##Name(QUOR_FIELD_STORE_##view)                                         \
        }                                                                                                \
        return OnComplete();                                                                             \
    }                                                                                                    \
                                                                                                         \
    std::shared_ptr<Name::IAutoLockResult> Name::GetAutoLockResult() {                                   \
        return std::make_shared<AutoLockResult>(*this);                                                  \
    })
// clang-format on
QUOR_MESSAGES(QUOR_DEFINE_REQUEST_CLASS)
#undef QUOR_DEFINE_REQUEST_CLASS

}  // namespace Quor::API::Impl::RPC
