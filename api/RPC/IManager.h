#pragma once
// The factories of kernel requests that a program sees (through IMain::GetRPCManager()).
//
// Each factory sends its request to the kernel and returns the request object, never empty. The
// listener (may be empty; never kept alive) receives the request's progress reports on the
// manager's worker thread. When the request cannot be sent, or the connection to the kernel has
// ended, the request comes back already complete with E_FAIL. Any thread may call the factories;
// a progress listener must not, and neither may a thread holding a request's result view.
#include <memory>
#include <string>

#include "api/RPC/Requests.h"
#include "foundation/Types.h"
#include "foundation/api/Progress.h"
#include "protocol/Messages.h"

namespace Quor::API::RPC {

// One factory a request with a response, in the table's factory order (QUOR_FACTORY_ORDER): its
// request fields, then the progress listener.
#define QUOR_DECLARE_FACTORY(Name)                                                                   \
    virtual std::shared_ptr<I##Name> Create##Name(QUOR_REQUEST_FIELDS_##Name(QUOR_FIELD_PARAM_FIRST) \
                                                      std::weak_ptr<Quor::API::IUpdateProgress>      \
                                                          progress) = 0;

class IManager {
public:
    QUOR_FACTORY_ORDER(QUOR_DECLARE_FACTORY)
    virtual ~IManager() {}
};

#undef QUOR_DECLARE_FACTORY

}  // namespace Quor::API::RPC
