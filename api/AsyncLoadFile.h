#pragma once
// Quor::API::Impl::AsyncLoadFile: loads one whole data file into memory on a pool thread of the
// main object: an archived file is locked in this process (the lock is held until the load is
// destroyed), its bytes are read in whole file-system blocks into page-aligned memory, and
// decompressed on a further pool thread when the manifest says they are stored compressed. The
// buffer shows exactly the file's bytes; a compressed file decodes to exactly the size its
// manifest states (a stream that gives more or fewer fails the load, and memory stays within that
// size).
//
// Construction and destruction run under the main object's mutex (taken by the caller for
// construction, by the destructor itself for destruction). Cancel and destruction stop a running
// load between two pieces of the read (or while decompression runs); destruction waits up to
// 3000 ms for the worker and then gives it up. The worker co-owns everything it touches, so one
// that is given up never touches freed memory. A failed load completes with a negative result and
// an empty buffer; a load completes once.
#include <memory>
#include <string>

#include "api/AsyncOperation.h"
#include "api/MainServices.h"
#include "common/ThreadPool.h"

namespace Quor::API::Impl {

class AsyncLoadFile final : public AsyncOperation, public Quor::API::IAsyncLoadFile {
public:
    static constexpr DWORD kTerminateWaitMs = 3000;
    // Bytes read per piece at most (rounded up to whole blocks); the terminate event is tested
    // between pieces.
    static constexpr DWORD kReadPiece = 1u << 20;

    class AutoLockResult final : public IAutoLockResult {
    public:
        explicit AutoLockResult(AsyncLoadFile& load);
        ~AutoLockResult() override;
        AutoLockResult(const AutoLockResult&) = delete;
        AutoLockResult& operator=(const AutoLockResult&) = delete;
        std::shared_ptr<Quor::API::IBuffer> GetBuffer() const override;
        HRESULT GetHResult() const override;

    private:
        AsyncLoadFile& m_Load;
        std::shared_ptr<Vorn::Mutex> m_Mutex;
    };

    // The caller holds the main object's mutex.
    AsyncLoadFile(MainServices& main, const std::string& name);
    ~AsyncLoadFile() override;
    AsyncLoadFile(const AsyncLoadFile&) = delete;
    AsyncLoadFile& operator=(const AsyncLoadFile&) = delete;

    void WaitUntilComplete() override { AsyncOperation::WaitUntilComplete(); }
    std::shared_ptr<Vorn::EventMultiWaitable> GetEvent() override { return AsyncOperation::GetEvent(); }
    bool GetIsComplete() const override { return AsyncOperation::GetIsComplete(); }
    void Cancel() override;
    std::shared_ptr<IAutoLockResult> GetAutoLockResult() override;

    struct State;  // what the worker shares with the load

private:
    HRESULT Prepare(const std::string& name);
    void Fail(HRESULT hr);
    static uint32_t ThreadProc(void* argument);

    MainServices& m_Main;
    std::string m_FileName;
    std::shared_ptr<State> m_State;
    DWORD m_LockHandle = 0xFFFFFFFF;
    std::shared_ptr<Quor::Common::ThreadPool::IThread> m_Worker;
};

}  // namespace Quor::API::Impl
