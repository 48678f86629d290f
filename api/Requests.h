#pragma once
// The request classes: one per kernel request, each the request's result fields, the storing of
// its response (OnResponse, called by the manager's worker) and its result view.
//
// Result fields start at 0 or empty. OnResponse stores under the request's lock and completes the
// request; Fail completes it with a failure code instead (connection lost, request not sent).
// Threads as for Base.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "api/RPC/Requests.h"
#include "api/RequestBase.h"

namespace Quor::API::Impl::RPC {

class GetVersion final : public Base, public Quor::API::RPC::IGetVersion {
public:
    using Base::Base;
    HRESULT OnResponse(const DWORD version);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

private:
    class AutoLockResult;
    DWORD m_Version = 0;
};

class EnumerateAvailableProjects final : public Base, public Quor::API::RPC::IEnumerateAvailableProjects {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr, const std::vector<std::string>& projects);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
    std::vector<std::string> m_Projects;
};

class EnumerateInstalledProjects final : public Base, public Quor::API::RPC::IEnumerateInstalledProjects {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr, const std::vector<std::string>& projects);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
    std::vector<std::string> m_Projects;
};

class EnumerateAvailableProjectReleases final : public Base,
                                                public Quor::API::RPC::IEnumerateAvailableProjectReleases {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr, const std::vector<DWORD>& releases);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
    std::vector<DWORD> m_Releases;
};

class EnumerateInstalledProjectReleases final : public Base,
                                                public Quor::API::RPC::IEnumerateInstalledProjectReleases {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr, const std::vector<DWORD>& releases);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
    std::vector<DWORD> m_Releases;
};

class InstallProjectRelease final : public Base, public Quor::API::RPC::IInstallProjectRelease {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
};

class UpdateProject final : public Base, public Quor::API::RPC::IUpdateProject {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr, const DWORD version);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
    DWORD m_Version = 0;
};

class Repair final : public Base, public Quor::API::RPC::IRepair {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
};

class ValidateProject final : public Base, public Quor::API::RPC::IValidateProject {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
};

class UninstallProjectRelease final : public Base, public Quor::API::RPC::IUninstallProjectRelease {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
};

class EnumerateAvailableSolutions final : public Base, public Quor::API::RPC::IEnumerateAvailableSolutions {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr, const std::vector<std::string>& solutions);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
    std::vector<std::string> m_Solutions;
};

class EnumerateInstalledSolutions final : public Base, public Quor::API::RPC::IEnumerateInstalledSolutions {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr, const std::vector<std::string>& solutions);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
    std::vector<std::string> m_Solutions;
};

class EnumerateAvailableSolutionReleases final : public Base,
                                                 public Quor::API::RPC::IEnumerateAvailableSolutionReleases {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr, const std::vector<DWORD>& releases);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
    std::vector<DWORD> m_Releases;
};

class EnumerateInstalledSolutionReleases final : public Base,
                                                 public Quor::API::RPC::IEnumerateInstalledSolutionReleases {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr, const std::vector<DWORD>& releases);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
    std::vector<DWORD> m_Releases;
};

class InstallSolutionRelease final : public Base, public Quor::API::RPC::IInstallSolutionRelease {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr, const DWORD version);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
    DWORD m_Version = 0;
};

class InstallSolutionReleaseByProjectVersion final
    : public Base,
      public Quor::API::RPC::IInstallSolutionReleaseByProjectVersion {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr, const DWORD version, const std::string& response);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
    DWORD m_Version = 0;
    std::string m_Response;
};

class UpdateSolution final : public Base, public Quor::API::RPC::IUpdateSolution {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr, const DWORD version);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
    DWORD m_Version = 0;
};

class ValidateSolution final : public Base, public Quor::API::RPC::IValidateSolution {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
};

class UninstallSolutionRelease final : public Base, public Quor::API::RPC::IUninstallSolutionRelease {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
};

class Terminate final : public Base, public Quor::API::RPC::ITerminate {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
};

class CreateProcess final : public Base, public Quor::API::RPC::ICreateProcess {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr, const DWORD processId, const DWORD threadId);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

private:
    class AutoLockResult;
    DWORD m_ProcessId = 0;
    DWORD m_ThreadId = 0;
};

class SetLogParameters final : public Base, public Quor::API::RPC::ISetLogParameters {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

private:
    class AutoLockResult;
};

class LockFile final : public Base, public Quor::API::RPC::ILockFile {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr, const std::string& fileName, const DWORD offset, const DWORD size,
                       const DWORD handle);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
    std::string m_FileName;
    DWORD m_Offset = 0;
    DWORD m_Size = 0;
    DWORD m_Handle = 0;
};

class UnlockFile final : public Base, public Quor::API::RPC::IUnlockFile {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

protected:
    void StoreFailureLocked(HRESULT hr) override { m_Code = hr; }

private:
    class AutoLockResult;
    HRESULT m_Code = 0;
};

class GetProjectVersionForSolutionRelease final
    : public Base,
      public Quor::API::RPC::IGetProjectVersionForSolutionRelease {
public:
    using Base::Base;
    HRESULT OnResponse(const std::string& projectVersion);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

private:
    class AutoLockResult;
    std::string m_ProjectVersion;
};

class GetQuorLibrary final : public Base, public Quor::API::RPC::IGetQuorLibrary {
public:
    using Base::Base;
    HRESULT OnResponse(const HRESULT hr, const std::string& path);
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

private:
    class AutoLockResult;
    std::string m_Path;
};

}  // namespace Quor::API::Impl::RPC
