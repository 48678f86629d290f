#include "api/AsyncLoadFile.h"

#include <algorithm>

#include "archive/ReaderLock.h"
#include "common/BufferMalloc.h"
#include "common/EntryPlacement.h"
#include "common/FileSysHelper.h"
#include "common/LZMA.h"
#include "common/Log.h"
#include "common/ThreadedCooperativeTask.h"
#include "common/ZLibHelper.h"
#include "foundation/AnnotatedMutex.h"
#include "foundation/CStd/CStdFiles.h"
#include "foundation/CStd/CStdMemory.h"
#include "foundation/CStd/CStdPaths.h"
#include "foundation/FileSystem/File.h"
#include "foundation/WaitForMultipleEvents.h"
#include "foundation/WaitResult.h"

namespace Quor::API::Impl {

using Quor::Common::ReleaseManifest;
using Quor::Log::DEBUG;
using Quor::Log::ERROR;
using Quor::Log::VERBOSE;
namespace Internal = Quor::Log::Internal;

// Everything the worker uses; shared by the load and its worker.
struct AsyncLoadFile::State {
    static constexpr DWORD kNone = 0, kZLib = 1, kLZMA = 2;

    std::shared_ptr<AsyncOperation::Completion> completion;
    std::shared_ptr<Quor::Common::ThreadPool::IPool> pool;
    std::string path;
    DWORD offset = 0;
    DWORD size = 0;
    DWORD compression = kNone;
    DWORD decodedSize = 0;  // the manifest's size of a compressed file: what it must decode to
    std::shared_ptr<Vorn::EventMultiWaitable> events[2];  // [0] terminate, [1] read done

    Vorn::AnnotatedMutex resultMutex;
    HRESULT result GUARDED_BY(resultMutex) = S_OK;
    std::shared_ptr<Quor::API::IBuffer> buffer GUARDED_BY(resultMutex);

    void Finish(HRESULT hr, std::shared_ptr<Quor::API::IBuffer> loaded) {
        {
            Vorn::AnnotatedLockGuard hold(resultMutex);
            result = hr;
            buffer = SUCCEEDED(hr) ? std::move(loaded) : nullptr;
        }
        completion->OnComplete();
    }
};

namespace {

constexpr const char* kBlockSizeTag =
    "HRESULT Quor::API::Impl::<anonymous namespace>::GetFileSystemBlockSize(const char *const, Vorn::uint32 &)";

HRESULT GetFileSystemBlockSize(const char* const path, uint32_t& blockSize) {
    char drive[16] = {}, folder[1024] = {}, name[1024] = {}, extension[1024] = {};
    if (!Vorn::std_splitpath(path, drive, sizeof(drive), folder, sizeof(folder), name, sizeof(name), extension,
                             sizeof(extension))) {
        QUOR_LOG_TAG(ERROR, kBlockSizeTag, "_splitpath_s failed");
        return E_FAIL;
    }
    const std::string where = drive[0] == 0 && folder[0] == 0 ? std::string(1, '.') : std::string(drive) + folder;
    uint64_t freeBlocks = 0, totalBlocks = 0;
    if (!Vorn::std_file_system_size(where.c_str(), blockSize, freeBlocks, totalBlocks) || blockSize == 0) {
        const HRESULT hr = Internal::LogGetLastError(kBlockSizeTag);
        QUOR_LOG_TAG(ERROR, kBlockSizeTag, "std_fileSystemSize() failed");
        return FAILED(hr) ? hr : E_FAIL;
    }
    return S_OK;
}

// Keeps a decompression task alive while one of its steps runs, also when the driver gave up on
// it and its owner has gone.
template <class Task>
class SharedTask final : public Quor::Common::ICooperativeTask, public std::enable_shared_from_this<SharedTask<Task>> {
public:
    SharedTask(std::shared_ptr<Quor::API::IBuffer> input, DWORD size) : m_Task(std::move(input), size) {}
    DWORD DoWork(DWORD budget) override {
        const auto keep = this->shared_from_this();
        return m_Task.DoWork(budget);
    }
    const std::shared_ptr<Quor::API::IBuffer>& GetOutput() const { return m_Task.GetOutput(); }

private:
    Task m_Task;
};

// Reads the block-aligned range around [offset, offset + size) in pieces, testing the terminate
// event between them; the bytes of the file end up in `out`.
HRESULT ReadRange(AsyncLoadFile::State& state, std::shared_ptr<Quor::API::IBuffer>& out);

template <class Task>
HRESULT Decompress(AsyncLoadFile::State& state, const std::shared_ptr<Quor::API::IBuffer>& input,
                   std::shared_ptr<Quor::API::IBuffer>& out) {
    const auto task = std::make_shared<SharedTask<Task>>(input, state.decodedSize);
    Quor::Common::ThreadedCooperativeTask driver(*task, state.pool, 0);
    const std::shared_ptr<Vorn::EventMultiWaitable> events[2] = {state.events[0], driver.GetCompleteEventHandle()};
    const DWORD signalled = Vorn::WaitForMultipleEvents(2, events, false, Vorn::INFINITE);
    if (signalled == Vorn::WAIT_OBJECT_0) {
        QUOR_LOG(VERBOSE, "Cancel event signaled.");
        driver.Cancel();
        return E_ABORT;
    }
    if (signalled == Vorn::WAIT_OBJECT_0 + 1) {
        QUOR_LOG(VERBOSE, "Execution complete event signaled.");
        const HRESULT hr = driver.GetAutoLockResult()->GetResult();
        if (FAILED(hr)) {
            QUOR_LOG(ERROR, "Failure while decompressing");
            return hr;
        }
        QUOR_LOG(VERBOSE, "Decompression succedeed");
        out = task->GetOutput();
        return S_OK;
    }
    if (signalled == Vorn::WAIT_TIMEOUT) {
        QUOR_LOG(ERROR, "WaitForMultipleObjects returned WAIT_TIMEOUT.");
    } else {
        QUOR_LOG(ERROR, "Unexpected object signaled.");
    }
    return E_FAIL;
}

HRESULT ReadRange(AsyncLoadFile::State& state, std::shared_ptr<Quor::API::IBuffer>& out) {
    uint32_t block = 0;
    HRESULT hr = GetFileSystemBlockSize(state.path.c_str(), block);
    if (FAILED(hr)) return hr;

    const uint32_t head = state.offset % block;
    const uint64_t wanted = static_cast<uint64_t>(state.size) + head;
    const uint64_t readSize = (wanted + block - 1) / block * block;
    const uint64_t start = state.offset - head;
    if (readSize > 0xFFFFFFFFull) {
        QUOR_LOG(ERROR, "File too large to load: %u bytes", state.size);
        return E_FAIL;
    }
    auto buffer = std::make_shared<Quor::Common::BufferMallocEx>(static_cast<uint32_t>(readSize), state.size, head,
                                                                 Vorn::std_page_size());
    char* const block0 = static_cast<char*>(buffer->GetBufferPointer());
    if (block0 == nullptr) {
        QUOR_LOG(ERROR, "Failed to allocate %u bytes", static_cast<uint32_t>(readSize));
        return E_OUTOFMEMORY;
    }
    char* const allocation = block0 - head;

    Vorn::FileSystem::FilePtr_t file = Vorn::FileSystem::File::Create(
        state.path.c_str(), Vorn::FileSystem::eFileAccessRead, Vorn::FileSystem::eFileShareRead,
        Vorn::FileSystem::eFileOpenDefault, Vorn::FileSystem::eFileFlagsNone);
    if (!file) {
        hr = Internal::LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(ERROR, "File::Create(%s...) failed", state.path.c_str());
        return FAILED(hr) ? hr : E_FAIL;
    }
    if (state.offset != 0 && !file->SetOffset(start, Vorn::FileSystem::eSeekBegin)) {
        hr = Internal::LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(ERROR, "File::SetOffset failed");
        return FAILED(hr) ? hr : E_FAIL;
    }

    const uint64_t piece = std::max<uint64_t>(block, (AsyncLoadFile::kReadPiece + block - 1) / block * block);
    uint64_t done = 0;
    while (done < readSize) {
        const DWORD size = static_cast<DWORD>(std::min(piece, readSize - done));
        state.events[1]->Reset();
        const auto pending = file->ReadAsync(allocation + done, size, state.events[1]);
        if (!pending) {
            hr = Internal::LogGetLastError(__PRETTY_FUNCTION__);
            QUOR_LOG(ERROR, "File::ReadyAsync failed.");
            return FAILED(hr) ? hr : E_FAIL;
        }
        const DWORD signalled = Vorn::WaitForMultipleEvents(2, state.events, false, Vorn::INFINITE);
        if (signalled == Vorn::WAIT_OBJECT_0) {
            QUOR_LOG(VERBOSE, "Terminate event signaled.");
            return E_ABORT;
        }
        if (signalled != Vorn::WAIT_OBJECT_0 + 1) {
            if (signalled == Vorn::WAIT_TIMEOUT) {
                QUOR_LOG(ERROR, "WaitForMultipleObjects returned WAIT_TIMEOUT.");
            } else {
                QUOR_LOG(ERROR, "Unexpected object signaled.");
            }
            return E_FAIL;
        }
        QUOR_LOG(VERBOSE, "Operation event signaled.");
        bool stillPending = false;
        DWORD transferred = 0;
        if (!file->GetAsyncResult(pending, true, stillPending, transferred)) {
            hr = Internal::LogGetLastError(__PRETTY_FUNCTION__);
            QUOR_LOG(ERROR, "File::GetAsyncResult result failed.");
            return FAILED(hr) ? hr : E_FAIL;
        }
        QUOR_LOG(VERBOSE, "File::GetAsyncResult returned %d bytes.", static_cast<int>(transferred));
        done += transferred;
        if (transferred < size) break;  // the end of the file
    }
    // The last block may be cut short by the end of the file, the file's own bytes may not.
    if (done < wanted) {
        QUOR_LOG(ERROR, "Read ended after %llu of %llu bytes", static_cast<unsigned long long>(done),
                 static_cast<unsigned long long>(wanted));
        return E_FAIL;
    }
    out = std::move(buffer);
    return S_OK;
}

}  // namespace

AsyncLoadFile::AsyncLoadFile(MainServices& main, const std::string& name)
    : m_Main(main), m_FileName(name), m_State(std::make_shared<State>()) {
    QUOR_LOG(VERBOSE, "(\"%s\")", name.c_str());
    m_State->completion = GetCompletion();
    m_State->pool = main.GetThreadPool();
    const HRESULT hr = Prepare(name);
    if (FAILED(hr)) Fail(hr);
}

void AsyncLoadFile::Fail(const HRESULT hr) { m_State->Finish(hr, nullptr); }

HRESULT AsyncLoadFile::Prepare(const std::string& name) {
    if (name.empty()) {
        QUOR_LOG(ERROR, "Empty file name");
        return E_FAIL;
    }
    State& state = *m_State;
    bool sizeKnown = false;
    if (const ManifestData* data = m_Main.GetEnvironment().GetManifestData(name)) {
        const ReleaseManifest::ENTRY& entry = *data->entry;
        if (entry.flags & ReleaseManifest::FLAG_STORED_COMPRESSED) {
            if (entry.flags & ReleaseManifest::FLAG_ZLIB) {
                state.compression = State::kZLib;
            } else if (entry.flags & ReleaseManifest::FLAG_LZMA) {
                state.compression = State::kLZMA;
            } else {
                QUOR_LOG(ERROR, "Unsupported compression type");
                return E_FAIL;
            }
            state.decodedSize = entry.size;
        }
        if (Quor::Common::PlaceOf(entry) != Quor::Common::EntryPlace::kArchived) {
            state.path = entry.name;
            Helper::FindBestPath(m_Main.GetEnvironment(), data->manifest, data->entry, state.path);
        } else {
            uint32_t offset = 0, size = 0, handle = Quor::User::kNoLockHandle;
            const HRESULT hr = Quor::User::LockFile(data->manifest->m_ProjectName, data->manifest->m_ReleaseVersion,
                                                    entry.name, m_Main.GetManifestCache(), state.path, offset, size,
                                                    handle);
            if (FAILED(hr)) {
                QUOR_LOG(ERROR, "Failed to lock file in archive.");
                return hr;
            }
            m_LockHandle = handle;
            state.offset = offset;
            state.size = size;
            // A locked file's size is its own, also when it is 0.
            sizeKnown = handle != Quor::User::kNoLockHandle;
        }
    }
    if (state.path.empty()) state.path = name;
    std::replace(state.path.begin(), state.path.end(), '\\', '/');
    if (!sizeKnown && state.size == 0) {
        UINT size = 0;
        const HRESULT hr = Quor::Common::FileSysHelper::GetFileSize(state.path, size);
        if (FAILED(hr)) {
            QUOR_LOG(ERROR, "Failed to get file size");
            return hr;
        }
        state.size = size;
    }
    for (auto& event : state.events) {
        event = Vorn::EventMultiWaitable::Create(true, false);
        if (!event) {
            Internal::LogGetLastError(__PRETTY_FUNCTION__);
            QUOR_LOG(ERROR, "Failed to create event handle.");
            return E_FAIL;
        }
    }
    auto* argument = new std::shared_ptr<State>(m_State);
    m_Worker = state.pool ? state.pool->CreateThread(&AsyncLoadFile::ThreadProc, argument) : nullptr;
    const HRESULT hr = m_Worker ? m_Worker->GetLastError() : E_FAIL;
    if (FAILED(hr)) {
        delete argument;
        m_Worker.reset();
        QUOR_LOG(ERROR, "Failed to create thread");
        return hr;
    }
    return S_OK;  // the result stays S_OK until the worker stores its own
}

uint32_t AsyncLoadFile::ThreadProc(void* argument) {
    const std::shared_ptr<State> shared = std::move(*static_cast<std::shared_ptr<State>*>(argument));
    delete static_cast<std::shared_ptr<State>*>(argument);
    State& state = *shared;
    QUOR_LOG(VERBOSE, "()");

    std::shared_ptr<Quor::API::IBuffer> loaded;
    HRESULT hr = S_OK;
    if (state.size == 0 && state.compression == State::kNone) {
        loaded = std::make_shared<Quor::Common::BufferMalloc>(0, nullptr);
    } else {
        hr = ReadRange(state, loaded);
    }
    if (SUCCEEDED(hr) && state.compression != State::kNone) {
        std::shared_ptr<Quor::API::IBuffer> output;
        hr = state.compression == State::kZLib
                 ? Decompress<Quor::Common::ZLibHelper::DecompressCooperativeTask>(state, loaded, output)
                 : Decompress<Quor::Common::LZMA::DecompressCooperativeTask>(state, loaded, output);
        loaded = std::move(output);
    }
    if (SUCCEEDED(hr)) QUOR_LOG(VERBOSE, "Succeeded");
    state.Finish(hr, std::move(loaded));
    return 0;
}

AsyncLoadFile::~AsyncLoadFile() {
    MutexHolder hold(m_Main.GetMutex());
    if (m_Worker) {
        if (!m_State->events[0]->Set()) {
            Internal::LogGetLastError(__PRETTY_FUNCTION__);
            QUOR_LOG(ERROR, "Failed to set event needed to terminate thread.");
        } else if (m_Worker->GetDoneExecuteEventHandle()->Wait(kTerminateWaitMs) != Vorn::WAIT_OBJECT_0) {
            QUOR_LOG(ERROR, "Thread did not terminate, calling Termiante");
            if (FAILED(m_Worker->Terminate())) {
                Internal::LogGetLastError(__PRETTY_FUNCTION__);
                QUOR_LOG(ERROR, "Terminate failed.");
            }
        }
        m_Worker.reset();
    }
    if (m_LockHandle != Quor::User::kNoLockHandle && FAILED(Quor::User::UnlockFile(m_LockHandle)))
        QUOR_LOG(ERROR, "Failed to unlock file");
}

void AsyncLoadFile::Cancel() {
    QUOR_LOG(DEBUG, "()");
    if (!m_State->events[0]) return;  // never started: already complete
    if (!m_State->events[0]->Set()) {
        Internal::LogGetLastError(__PRETTY_FUNCTION__);
        QUOR_LOG(ERROR, "Failed to set event needed to terminate thread.");
    }
}

std::shared_ptr<Quor::API::IAsyncLoadFile::IAutoLockResult> AsyncLoadFile::GetAutoLockResult() {
    return std::make_shared<AutoLockResult>(*this);
}

AsyncLoadFile::AutoLockResult::AutoLockResult(AsyncLoadFile& load)
    : m_Load(load), m_Mutex(load.GetCompletion()->mutex) {
    m_Mutex->Lock();
}

AsyncLoadFile::AutoLockResult::~AutoLockResult() { m_Mutex->Unlock(); }

std::shared_ptr<Quor::API::IBuffer> AsyncLoadFile::AutoLockResult::GetBuffer() const {
    State& state = *m_Load.m_State;
    Vorn::AnnotatedLockGuard hold(state.resultMutex);
    return state.buffer;
}

HRESULT AsyncLoadFile::AutoLockResult::GetHResult() const {
    State& state = *m_Load.m_State;
    Vorn::AnnotatedLockGuard hold(state.resultMutex);
    return state.result;
}

}  // namespace Quor::API::Impl
