#include "api/Requests.h"

#include "common/Log.h"

namespace Quor::API::Impl::RPC {

using Quor::Log::VERBOSE;

namespace {
const char* Outcome(HRESULT hr) {
    return SUCCEEDED(hr) ? "SUCCEEDED" : "FAILED";
}
}  // namespace

class GetVersion::AutoLockResult final : public IGetVersion::IAutoLockResult {
public:
    explicit AutoLockResult(const GetVersion& request) : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.Status(); }
    DWORD GetResult() const override { return m_Request.m_Version; }

private:
    const GetVersion& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT GetVersion::OnResponse(const DWORD version) {
    QUOR_LOG(VERBOSE, "0x%08x", version);
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Version = version;
    }
    return OnComplete();
}

std::shared_ptr<GetVersion::IAutoLockResult> GetVersion::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class EnumerateAvailableProjects::AutoLockResult final : public IEnumerateAvailableProjects::IAutoLockResult {
public:
    explicit AutoLockResult(const EnumerateAvailableProjects& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }
    const std::vector<std::string>& GetProjects() const override { return m_Request.m_Projects; }

private:
    const EnumerateAvailableProjects& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT EnumerateAvailableProjects::OnResponse(const HRESULT hr, const std::vector<std::string>& projects) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
        m_Projects = projects;
    }
    return OnComplete();
}

std::shared_ptr<EnumerateAvailableProjects::IAutoLockResult> EnumerateAvailableProjects::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class EnumerateInstalledProjects::AutoLockResult final : public IEnumerateInstalledProjects::IAutoLockResult {
public:
    explicit AutoLockResult(const EnumerateInstalledProjects& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }
    const std::vector<std::string>& GetProjects() const override { return m_Request.m_Projects; }

private:
    const EnumerateInstalledProjects& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT EnumerateInstalledProjects::OnResponse(const HRESULT hr, const std::vector<std::string>& projects) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
        m_Projects = projects;
    }
    return OnComplete();
}

std::shared_ptr<EnumerateInstalledProjects::IAutoLockResult> EnumerateInstalledProjects::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class EnumerateAvailableProjectReleases::AutoLockResult final
    : public IEnumerateAvailableProjectReleases::IAutoLockResult {
public:
    explicit AutoLockResult(const EnumerateAvailableProjectReleases& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }
    const std::vector<DWORD>& GetReleases() const override { return m_Request.m_Releases; }

private:
    const EnumerateAvailableProjectReleases& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT EnumerateAvailableProjectReleases::OnResponse(const HRESULT hr, const std::vector<DWORD>& releases) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
        m_Releases = releases;
    }
    return OnComplete();
}

std::shared_ptr<EnumerateAvailableProjectReleases::IAutoLockResult>
EnumerateAvailableProjectReleases::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class EnumerateInstalledProjectReleases::AutoLockResult final
    : public IEnumerateInstalledProjectReleases::IAutoLockResult {
public:
    explicit AutoLockResult(const EnumerateInstalledProjectReleases& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }
    const std::vector<DWORD>& GetReleases() const override { return m_Request.m_Releases; }

private:
    const EnumerateInstalledProjectReleases& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT EnumerateInstalledProjectReleases::OnResponse(const HRESULT hr, const std::vector<DWORD>& releases) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
        m_Releases = releases;
    }
    return OnComplete();
}

std::shared_ptr<EnumerateInstalledProjectReleases::IAutoLockResult>
EnumerateInstalledProjectReleases::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class InstallProjectRelease::AutoLockResult final : public IInstallProjectRelease::IAutoLockResult {
public:
    explicit AutoLockResult(const InstallProjectRelease& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }

private:
    const InstallProjectRelease& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT InstallProjectRelease::OnResponse(const HRESULT hr) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
    }
    return OnComplete();
}

std::shared_ptr<InstallProjectRelease::IAutoLockResult> InstallProjectRelease::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class UpdateProject::AutoLockResult final : public IUpdateProject::IAutoLockResult {
public:
    explicit AutoLockResult(const UpdateProject& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }
    DWORD GetVersion() const override { return m_Request.m_Version; }

private:
    const UpdateProject& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT UpdateProject::OnResponse(const HRESULT hr, const DWORD version) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
        m_Version = version;
    }
    return OnComplete();
}

std::shared_ptr<UpdateProject::IAutoLockResult> UpdateProject::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class Repair::AutoLockResult final : public IRepair::IAutoLockResult {
public:
    explicit AutoLockResult(const Repair& request) : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }

private:
    const Repair& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT Repair::OnResponse(const HRESULT hr) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
    }
    return OnComplete();
}

std::shared_ptr<Repair::IAutoLockResult> Repair::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class ValidateProject::AutoLockResult final : public IValidateProject::IAutoLockResult {
public:
    explicit AutoLockResult(const ValidateProject& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }

private:
    const ValidateProject& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT ValidateProject::OnResponse(const HRESULT hr) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
    }
    return OnComplete();
}

std::shared_ptr<ValidateProject::IAutoLockResult> ValidateProject::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class UninstallProjectRelease::AutoLockResult final : public IUninstallProjectRelease::IAutoLockResult {
public:
    explicit AutoLockResult(const UninstallProjectRelease& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }

private:
    const UninstallProjectRelease& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT UninstallProjectRelease::OnResponse(const HRESULT hr) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
    }
    return OnComplete();
}

std::shared_ptr<UninstallProjectRelease::IAutoLockResult> UninstallProjectRelease::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class EnumerateAvailableSolutions::AutoLockResult final
    : public IEnumerateAvailableSolutions::IAutoLockResult {
public:
    explicit AutoLockResult(const EnumerateAvailableSolutions& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }
    const std::vector<std::string>& GetSolutions() const override { return m_Request.m_Solutions; }

private:
    const EnumerateAvailableSolutions& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT EnumerateAvailableSolutions::OnResponse(const HRESULT hr, const std::vector<std::string>& solutions) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
        m_Solutions = solutions;
    }
    return OnComplete();
}

std::shared_ptr<EnumerateAvailableSolutions::IAutoLockResult>
EnumerateAvailableSolutions::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class EnumerateInstalledSolutions::AutoLockResult final
    : public IEnumerateInstalledSolutions::IAutoLockResult {
public:
    explicit AutoLockResult(const EnumerateInstalledSolutions& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }
    const std::vector<std::string>& GetSolutions() const override { return m_Request.m_Solutions; }

private:
    const EnumerateInstalledSolutions& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT EnumerateInstalledSolutions::OnResponse(const HRESULT hr, const std::vector<std::string>& solutions) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
        m_Solutions = solutions;
    }
    return OnComplete();
}

std::shared_ptr<EnumerateInstalledSolutions::IAutoLockResult>
EnumerateInstalledSolutions::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class EnumerateAvailableSolutionReleases::AutoLockResult final
    : public IEnumerateAvailableSolutionReleases::IAutoLockResult {
public:
    explicit AutoLockResult(const EnumerateAvailableSolutionReleases& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }
    const std::vector<DWORD>& GetReleases() const override { return m_Request.m_Releases; }

private:
    const EnumerateAvailableSolutionReleases& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT EnumerateAvailableSolutionReleases::OnResponse(const HRESULT hr, const std::vector<DWORD>& releases) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
        m_Releases = releases;
    }
    return OnComplete();
}

std::shared_ptr<EnumerateAvailableSolutionReleases::IAutoLockResult>
EnumerateAvailableSolutionReleases::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class EnumerateInstalledSolutionReleases::AutoLockResult final
    : public IEnumerateInstalledSolutionReleases::IAutoLockResult {
public:
    explicit AutoLockResult(const EnumerateInstalledSolutionReleases& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }
    const std::vector<DWORD>& GetReleases() const override { return m_Request.m_Releases; }

private:
    const EnumerateInstalledSolutionReleases& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT EnumerateInstalledSolutionReleases::OnResponse(const HRESULT hr, const std::vector<DWORD>& releases) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
        m_Releases = releases;
    }
    return OnComplete();
}

std::shared_ptr<EnumerateInstalledSolutionReleases::IAutoLockResult>
EnumerateInstalledSolutionReleases::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class InstallSolutionRelease::AutoLockResult final : public IInstallSolutionRelease::IAutoLockResult {
public:
    explicit AutoLockResult(const InstallSolutionRelease& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }
    DWORD GetVer() const override { return m_Request.m_Version; }

private:
    const InstallSolutionRelease& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT InstallSolutionRelease::OnResponse(const HRESULT hr, const DWORD version) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
        m_Version = version;
    }
    return OnComplete();
}

std::shared_ptr<InstallSolutionRelease::IAutoLockResult> InstallSolutionRelease::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class InstallSolutionReleaseByProjectVersion::AutoLockResult final
    : public IInstallSolutionReleaseByProjectVersion::IAutoLockResult {
public:
    explicit AutoLockResult(const InstallSolutionReleaseByProjectVersion& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }
    DWORD GetVer() const override { return m_Request.m_Version; }
    void GetResp(std::string& out) const override { out = m_Request.m_Response; }

private:
    const InstallSolutionReleaseByProjectVersion& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT InstallSolutionReleaseByProjectVersion::OnResponse(const HRESULT hr, const DWORD version,
                                                           const std::string& response) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
        m_Version = version;
        m_Response = response;
    }
    return OnComplete();
}

std::shared_ptr<InstallSolutionReleaseByProjectVersion::IAutoLockResult>
InstallSolutionReleaseByProjectVersion::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class UpdateSolution::AutoLockResult final : public IUpdateSolution::IAutoLockResult {
public:
    explicit AutoLockResult(const UpdateSolution& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }
    DWORD GetVersion() const override { return m_Request.m_Version; }

private:
    const UpdateSolution& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT UpdateSolution::OnResponse(const HRESULT hr, const DWORD version) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
        m_Version = version;
    }
    return OnComplete();
}

std::shared_ptr<UpdateSolution::IAutoLockResult> UpdateSolution::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class ValidateSolution::AutoLockResult final : public IValidateSolution::IAutoLockResult {
public:
    explicit AutoLockResult(const ValidateSolution& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }

private:
    const ValidateSolution& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT ValidateSolution::OnResponse(const HRESULT hr) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
    }
    return OnComplete();
}

std::shared_ptr<ValidateSolution::IAutoLockResult> ValidateSolution::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class UninstallSolutionRelease::AutoLockResult final : public IUninstallSolutionRelease::IAutoLockResult {
public:
    explicit AutoLockResult(const UninstallSolutionRelease& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }

private:
    const UninstallSolutionRelease& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT UninstallSolutionRelease::OnResponse(const HRESULT hr) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
    }
    return OnComplete();
}

std::shared_ptr<UninstallSolutionRelease::IAutoLockResult> UninstallSolutionRelease::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class Terminate::AutoLockResult final : public ITerminate::IAutoLockResult {
public:
    explicit AutoLockResult(const Terminate& request) : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }

private:
    const Terminate& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT Terminate::OnResponse(const HRESULT hr) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
    }
    return OnComplete();
}

std::shared_ptr<Terminate::IAutoLockResult> Terminate::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class CreateProcess::AutoLockResult final : public ICreateProcess::IAutoLockResult {
public:
    explicit AutoLockResult(const CreateProcess& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.Status(); }
    DWORD GetProcessId() const override { return m_Request.m_ProcessId; }
    DWORD GetThreadId() const override { return m_Request.m_ThreadId; }

private:
    const CreateProcess& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT CreateProcess::OnResponse(const HRESULT hr, const DWORD processId, const DWORD threadId) {
    QUOR_LOG(VERBOSE, "0x%08x, 0x%08x, 0x%08x", hr, processId, threadId);
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        SetStatus(hr);
        m_ProcessId = processId;
        m_ThreadId = threadId;
    }
    return OnComplete();
}

std::shared_ptr<CreateProcess::IAutoLockResult> CreateProcess::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class SetLogParameters::AutoLockResult final : public ISetLogParameters::IAutoLockResult {
public:
    explicit AutoLockResult(const SetLogParameters& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.Status(); }

private:
    const SetLogParameters& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT SetLogParameters::OnResponse(const HRESULT hr) {
    QUOR_LOG(VERBOSE, "0x%08x", hr);
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        SetStatus(hr);
    }
    return OnComplete();
}

std::shared_ptr<SetLogParameters::IAutoLockResult> SetLogParameters::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class LockFile::AutoLockResult final : public ILockFile::IAutoLockResult {
public:
    explicit AutoLockResult(const LockFile& request) : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }
    const std::string& GetFileName() const override { return m_Request.m_FileName; }
    DWORD GetOffset() const override { return m_Request.m_Offset; }
    DWORD GetSize() const override { return m_Request.m_Size; }
    DWORD GetHandle() const override { return m_Request.m_Handle; }

private:
    const LockFile& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT LockFile::OnResponse(const HRESULT hr, const std::string& fileName, const DWORD offset,
                             const DWORD size, const DWORD handle) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
        m_FileName = fileName;
        m_Offset = offset;
        m_Size = size;
        m_Handle = handle;
    }
    return OnComplete();
}

std::shared_ptr<LockFile::IAutoLockResult> LockFile::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class UnlockFile::AutoLockResult final : public IUnlockFile::IAutoLockResult {
public:
    explicit AutoLockResult(const UnlockFile& request) : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.m_Code; }

private:
    const UnlockFile& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT UnlockFile::OnResponse(const HRESULT hr) {
    QUOR_LOG(VERBOSE, "0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_Code = hr;
    }
    return OnComplete();
}

std::shared_ptr<UnlockFile::IAutoLockResult> UnlockFile::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class GetProjectVersionForSolutionRelease::AutoLockResult final
    : public IGetProjectVersionForSolutionRelease::IAutoLockResult {
public:
    explicit AutoLockResult(const GetProjectVersionForSolutionRelease& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    void GetProjectVersion(std::string& out) const override { out = m_Request.m_ProjectVersion; }

private:
    const GetProjectVersionForSolutionRelease& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT GetProjectVersionForSolutionRelease::OnResponse(const std::string& projectVersion) {
    QUOR_LOG(VERBOSE, "%s", projectVersion.c_str());
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        m_ProjectVersion = projectVersion;
    }
    return OnComplete();
}

std::shared_ptr<GetProjectVersionForSolutionRelease::IAutoLockResult>
GetProjectVersionForSolutionRelease::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

class GetQuorLibrary::AutoLockResult final : public IGetQuorLibrary::IAutoLockResult {
public:
    explicit AutoLockResult(const GetQuorLibrary& request)
        : m_Request(request), m_Lock(request.ResultMutex()) {}
    HRESULT GetHResult() const override { return m_Request.Status(); }
    const std::string& GetPath() const override { return m_Request.m_Path; }

private:
    const GetQuorLibrary& m_Request;
    std::unique_lock<std::mutex> m_Lock;
};

HRESULT GetQuorLibrary::OnResponse(const HRESULT hr, const std::string& path) {
    QUOR_LOG(VERBOSE, "Result: 0x%08x (%s)", hr, Outcome(hr));
    {
        std::lock_guard<std::mutex> lock(ResultMutex());
        SetStatus(hr);
        m_Path = path;
    }
    return OnComplete();
}

std::shared_ptr<GetQuorLibrary::IAutoLockResult> GetQuorLibrary::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

}  // namespace Quor::API::Impl::RPC
