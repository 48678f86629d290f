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
// operations may be called from any thread.
#include <memory>
#include <string>
#include <vector>

#include "foundation/EventMultiWaitable.h"
#include "foundation/Types.h"
#include "foundation/api/Progress.h"

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

class IGetVersion : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual DWORD GetResult() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IGetVersion() override {}
};

class IEnumerateAvailableProjects : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual const std::vector<std::string>& GetProjects() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IEnumerateAvailableProjects() override {}
};

class IEnumerateInstalledProjects : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual const std::vector<std::string>& GetProjects() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IEnumerateInstalledProjects() override {}
};

class IEnumerateAvailableProjectReleases : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual const std::vector<DWORD>& GetReleases() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IEnumerateAvailableProjectReleases() override {}
};

class IEnumerateInstalledProjectReleases : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual const std::vector<DWORD>& GetReleases() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IEnumerateInstalledProjectReleases() override {}
};

class IInstallProjectRelease : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IInstallProjectRelease() override {}
};

class IUpdateProject : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual DWORD GetVersion() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IUpdateProject() override {}
};

class IRepair : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IRepair() override {}
};

class IValidateProject : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IValidateProject() override {}
};

class IUninstallProjectRelease : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IUninstallProjectRelease() override {}
};

class IEnumerateAvailableSolutions : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual const std::vector<std::string>& GetSolutions() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IEnumerateAvailableSolutions() override {}
};

class IEnumerateInstalledSolutions : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual const std::vector<std::string>& GetSolutions() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IEnumerateInstalledSolutions() override {}
};

class IEnumerateAvailableSolutionReleases : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual const std::vector<DWORD>& GetReleases() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IEnumerateAvailableSolutionReleases() override {}
};

class IEnumerateInstalledSolutionReleases : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual const std::vector<DWORD>& GetReleases() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IEnumerateInstalledSolutionReleases() override {}
};

class IInstallSolutionRelease : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual DWORD GetVer() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IInstallSolutionRelease() override {}
};

class IInstallSolutionReleaseByProjectVersion : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual DWORD GetVer() const = 0;
        virtual void GetResp(std::string& out) const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IInstallSolutionReleaseByProjectVersion() override {}
};

class IUpdateSolution : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual DWORD GetVersion() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IUpdateSolution() override {}
};

class IValidateSolution : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IValidateSolution() override {}
};

class IUninstallSolutionRelease : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IUninstallSolutionRelease() override {}
};

class ITerminate : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~ITerminate() override {}
};

class ICreateProcess : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual DWORD GetProcessId() const = 0;
        virtual DWORD GetThreadId() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~ICreateProcess() override {}
};

class ISetLogParameters : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~ISetLogParameters() override {}
};

class ILockFile : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual const std::string& GetFileName() const = 0;
        virtual DWORD GetOffset() const = 0;
        virtual DWORD GetSize() const = 0;
        virtual DWORD GetHandle() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~ILockFile() override {}
};

class IUnlockFile : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IUnlockFile() override {}
};

class IGetProjectVersionForSolutionRelease : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual void GetProjectVersion(std::string& out) const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IGetProjectVersionForSolutionRelease() override {}
};

class IGetQuorLibrary : public virtual IBase {
public:
    class IAutoLockResult {
    public:
        virtual HRESULT GetHResult() const = 0;
        virtual const std::string& GetPath() const = 0;
        virtual ~IAutoLockResult() {}
    };
    virtual std::shared_ptr<IAutoLockResult> GetAutoLockResult() = 0;
    ~IGetQuorLibrary() override {}
};

}  // namespace Quor::API::RPC
