#pragma once
// The client API's main object as the lower layers see it, and its file search result.
//
// These interfaces are implemented by the client library (the api layer), which also defines
// CreateMain; the foundation and common layers only use them. IFile, IAsyncLoadFile and
// RPC::IManager are defined by the client library.
// Threads: a main object may be called from any thread (it locks its own file operations).
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/Types.h"

namespace Quor::API {

class IFile;
class IAsyncLoadFile;
namespace RPC {
class IManager;
}

// How a data file is opened: 0 text, 1 binary.
enum FILE_TYPE : int32_t { FILE_TYPE_TEXT = 0, FILE_TYPE_BINARY = 1 };

struct FindFileResultItem {
    enum TYPE : int32_t { TYPE_FILE = 1, TYPE_FOLDER = 2 };
    TYPE type = TYPE_FILE;
    std::string name;  // the matched name below the searched folder
};

class IFindFileResult {
public:
    virtual uint32_t GetCount() const = 0;
    // Item index (below GetCount(); not checked).
    virtual const FindFileResultItem& GetByIndex(uint32_t index) const = 0;
    virtual ~IFindFileResult() = default;
};

class IMain {
public:
    // Flags of GetFlags().
    static constexpr DWORD FLAG_RUNTIME_ENVIRONMENT = 1;  // the program's release was determined
    static constexpr DWORD FLAG_CONNECTED = 2;            // connected to a kernel

    // FindFile flags: 1 files, 2 folders, 3 both.
    static constexpr uint32_t FIND_FILES = 1;
    static constexpr uint32_t FIND_FOLDERS = 2;

    // Names matching a wildcard pattern among the files the main object sees, each once; a
    // negative result means failure and result is not to be read.
    virtual HRESULT FindFile(const std::string& pattern, const uint32_t flags,
                             std::shared_ptr<IFindFileResult>& result) = 0;
    virtual HRESULT OpenFile(const std::string& name, const FILE_TYPE type, std::shared_ptr<IFile>& file) = 0;
    virtual bool DoesFileOrDirectoryExist(const std::string& name) = 0;
    virtual void FindBestPath(const std::string& name, std::string& path) = 0;
    virtual std::shared_ptr<IAsyncLoadFile> CreateAsyncLoadFile(const std::string& name) = 0;
    // Only when GetFlags() has FLAG_CONNECTED.
    virtual RPC::IManager& GetRPCManager() = 0;
    virtual DWORD GetFlags() const = 0;
    virtual ~IMain() = default;
};

// Constructs a main object; on success (result not negative) main holds it, otherwise main is left
// as it was. Defined by the client library: code below the api layer must not call it directly
// (the client-API file iterator reaches it through its registered factory, see
// foundation/File/FileIterator.h).
HRESULT CreateMain(std::shared_ptr<IMain>& main);

}  // namespace Quor::API
