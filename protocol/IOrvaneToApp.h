#pragma once
// The kernel's answers to a program: one operation per response type of the table in
// protocol/Messages.h, with that row's fields as parameters, plus progress reports.
//
// Every operation starts with the requester (the connection) and the id of the request answered.
// ToApp::Send turns calls into packets; the client's request manager implements it and
// ToApp::TranslateAndDispatch calls it. Operations without a result word (GetVersion,
// GetProjectVersionForSolutionRelease, RequestProgress) carry none. Not deleted through this
// interface. Implementations say which threads may call them.
#include <string>

#include "foundation/Types.h"
#include "foundation/api/Progress.h"
#include "protocol/Messages.h"

namespace Quor::OrvaneProtocol {

class IOrvaneToApp {
public:
#define QUOR_DECLARE_RESPONSE(Name, TYPE, number, direction, ...) \
    QUOR_IF_RESPONSE_##direction(virtual QUOR_RESPONSE_SIGNATURE(, Name) = 0;)
    QUOR_MESSAGES(QUOR_DECLARE_RESPONSE)
#undef QUOR_DECLARE_RESPONSE
    virtual void RequestProgress(const DWORD requester, const DWORD requestId, const DWORD counter1,
                                 const DWORD counter2, const DWORD counter3, const DWORD counter4,
                                 const DWORD bytesDownloaded, const DWORD bytesToDownload,
                                 const Quor::API::Progress::OperationType operationType,
                                 const Quor::API::Progress::StepType stepType, const float elapsedSeconds,
                                 const float remainingSeconds, const std::string& currentItem) = 0;

protected:
    ~IOrvaneToApp() = default;
};

}  // namespace Quor::OrvaneProtocol
