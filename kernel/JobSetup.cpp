#include "kernel/JobSetup.h"

#include "common/Log.h"
#include "common/LogText.h"
#include "common/ProjectName.h"
#include "common/RelativeName.h"
#include "common/StringHelper.h"

namespace Quor::Orvane {

JobProgress::JobProgress(ForwardUpdateProgress& forward, const signed char* cancel)
    : m_Progress(&forward, cancel, Quor::User::UPDATE_PERIOD_FAST), m_Scope(m_Progress) {}

JobProgress::JobProgress() : m_Progress(nullptr, nullptr, 1000), m_Scope(m_Progress) {}

bool IsRefusedName(const std::string& name) {
    if (Quor::Common::IsValidProjectName(name)) return false;
    QUOR_LOG(Quor::Log::ERROR, "Refused name \"%s\"", Quor::Log::CutText(name).c_str());
    return true;
}

bool IsRefusedRelativeName(const std::string& name) {
    if (Quor::Common::IsValidRelativeName(name)) return false;
    QUOR_LOG(Quor::Log::ERROR, "Refused path \"%s\"", Quor::Log::CutText(name).c_str());
    return true;
}

bool IsRefusedReaderPath(const std::string& path) {
    if (Quor::Common::IsValidRelativeName(Quor::Common::StringHelper::FixPathString(path))) return false;
    QUOR_LOG(Quor::Log::ERROR, "Refused path \"%s\"", Quor::Log::CutText(path).c_str());
    return true;
}

}  // namespace Quor::Orvane
