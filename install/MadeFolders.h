#pragma once
// MadeFolders: the folders one step of an operation created, taken away again when the step
// fails, so that a failed operation leaves no folder it made.
//
// Made records a folder the step has just created (not one that existed before). When the object
// ends while the result it watches is a failure, each recorded folder that still exists is deleted
// with everything below it, the last recorded first; the step must not have put anything worth
// keeping below them. Failures to delete are logged and otherwise ignored. One thread; the watched
// result and the file system outlive the object.
#include <string>
#include <vector>

#include "common/LocalFileSystem.h"
#include "foundation/Types.h"

namespace Quor::User {

class MadeFolders {
public:
    MadeFolders(const HRESULT& result, Common::LocalFileSystem& fileSystem)
        : m_Result(result), m_FileSystem(fileSystem) {}
    ~MadeFolders();
    MadeFolders(const MadeFolders&) = delete;
    MadeFolders& operator=(const MadeFolders&) = delete;

    void Made(const std::string& folder) { m_Folders.push_back(folder); }

private:
    const HRESULT& m_Result;
    Common::LocalFileSystem& m_FileSystem;
    std::vector<std::string> m_Folders;
};

}  // namespace Quor::User
