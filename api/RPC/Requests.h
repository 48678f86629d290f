#pragma once
// The request objects a program holds, one interface per kernel request, with the view of its
// results.
//
// A request is created by the request manager (RPC::IManager) and owned by the caller's shared
// pointer. IBase: WaitUntilComplete returns once the request is complete (at once when it already
// is, however often it is called); GetEvent is signalled (auto-reset) when it completes, for waits
// on several requests together; GetProgress copies the latest progress report; Cancel asks the
// kernel to stop the request without completing it; dropping a request that is not complete
// cancels it. GetAutoLockResult holds the request's lock while the view lives: take it only after
// completion, one at a time per thread, release it before creating further requests, and keep the
// request alive while it lives. Result fields read 0 or empty until the response arrived. All
// operations may be called from any thread. The interfaces are expanded from the message table
// (protocol/Messages.h): one a request with a response, its getters from the response fields.
#include <memory>
#include <string>
#include <vector>

#include "foundation/EventMultiWaitable.h"
#include "foundation/Types.h"
#include "foundation/api/Progress.h"
#include "protocol/Messages.h"

namespace Quor::API::RPC {

class IBase {
public:
    virtual void WaitUntilComplete() = 0;
    virtual std::shared_ptr<Vorn::EventMultiWaitable> GetEvent() const = 0;
    virtual bool GetIsComplete() const = 0;
    virtual Quor::API::Progress GetProgress() const = 0;
    virtual void Cancel() = 0;
    virtual ~IBase() {}
};

// A getter of the result view, declared: QUOR_GETTER_DECL_<shape>(type, Getter).
#define QUOR_GETTER_DECL_VALUE(type, Getter) virtual type Getter() const = 0;
#define QUOR_GETTER_DECL_REF(type, Getter) virtual const type& Getter() const = 0;
#define QUOR_GETTER_DECL_OUT(type, Getter) virtual void Getter(type& out) const = 0;
#define QUOR_GETTER_DECL(kind, name, Getter, shape) QUOR_GETTER_DECL_##shape(QUOR_FIELD_VALUE_##kind, Getter)
// A response field's getter (none for the result: the row's view gives GetHResult).
#define QUOR_FIELD_GETTER_DECL(kind, ...) QUOR_FIELD_IF_VALUE_##kind(QUOR_GETTER_DECL(kind, __VA_ARGS__))
#define QUOR_HRESULT_DECL_CODE virtual HRESULT GetHResult() const = 0;
#define QUOR_HRESULT_DECL_STATUS virtual HRESULT GetHResult() const = 0;
#define QUOR_HRESULT_DECL_NONE

// One interface per request with a response: its result view holds GetHResult (unless the row's
// view is NONE), then a getter per response field in wire order.
// clang-format off
#define QUOR_DECLARE_REQUEST_INTERFACE(Name, TYPE, number, direction, requestLog, responseLog, view, ...) \
    QUOR_IF_RESPONSE_##direction(                                                                         \
    class I##Name : public virtual IBase {                                                                \
    public:                                                                                               \
        class IAutoLockResult {                                                                           \
        public:                                                                                           \
            QUOR_HRESULT_DECL_##view                                                                      \
            QUOR_RESPONSE_FIELDS_##Name(QUOR_FIELD_GETTER_DECL)                                           \
            virtual ~IAutoLockResult() {}                                                                 \
        };                                                                                                \
        virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;                                 \
        ~I##Name() override {}                                                                            \
    };)
// clang-format on
QUOR_MESSAGES(QUOR_DECLARE_REQUEST_INTERFACE)
#undef QUOR_DECLARE_REQUEST_INTERFACE
#undef QUOR_HRESULT_DECL_NONE
#undef QUOR_HRESULT_DECL_STATUS
#undef QUOR_HRESULT_DECL_CODE
#undef QUOR_FIELD_GETTER_DECL
#undef QUOR_GETTER_DECL
#undef QUOR_GETTER_DECL_OUT
#undef QUOR_GETTER_DECL_REF
#undef QUOR_GETTER_DECL_VALUE

}  // namespace Quor::API::RPC
