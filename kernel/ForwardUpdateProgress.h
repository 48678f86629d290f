#pragma once
// Quor::Orvane::ForwardUpdateProgress: sends each progress report of a job to the requesting
// client as a RequestProgress message carrying the request's own id. Lives for one operation on
// the job's stack; the answer sender must outlive it. Called on the job's threads.
#include "foundation/Types.h"
#include "foundation/api/Progress.h"
#include "protocol/IOrvaneToApp.h"

namespace Quor::Orvane {

class ForwardUpdateProgress : public Quor::API::IUpdateProgress {
public:
    ForwardUpdateProgress(DWORD requester, DWORD requestId, Quor::OrvaneProtocol::IOrvaneToApp& answers)
        : m_Requester(requester), m_RequestId(requestId), m_Answers(answers) {}

    void UpdateProgress(const Quor::API::Progress& p) override {
        m_Answers.RequestProgress(m_Requester, m_RequestId, p.m_Counter1, p.m_Counter2, p.m_Counter3,
                                  p.m_Counter4, p.m_BytesDownloaded, p.m_BytesToDownload, p.m_OperationType,
                                  p.m_StepType, p.m_ElapsedSeconds, p.m_RemainingSeconds, p.m_CurrentItem);
    }

private:
    DWORD m_Requester;
    DWORD m_RequestId;
    Quor::OrvaneProtocol::IOrvaneToApp& m_Answers;
};

}  // namespace Quor::Orvane
