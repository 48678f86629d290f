#pragma once
// A temporary file that deletes itself: an empty file named "TMP..." in {root}/temp, created by
// the constructor and deleted by the destructor unless the owner kept it (after moving it into
// place or handing it on).
//
// The file is made with O_EXCL below the folder's descriptor, and a link standing for {root}/temp
// is replaced by a real folder first (TreePath.h), so nothing is ever made through a link.
// Creation failures reach the caller through the constructor's HRESULT and the log; such an
// object has an empty path and deletes nothing. Usually held through a std::shared_ptr so that
// it can travel in queues; not thread-safe itself.
#include <string>

#include "common/LocalFileSystem.h"
#include "foundation/Types.h"

namespace Quor::Common {

class AutoTemporaryFile {
public:
    AutoTemporaryFile(LocalFileSystem& fileSystem, HRESULT& result);
    ~AutoTemporaryFile();
    AutoTemporaryFile(const AutoTemporaryFile&) = delete;
    AutoTemporaryFile& operator=(const AutoTemporaryFile&) = delete;

    // The file's path; empty when creation failed.
    const std::string& GetPath() const { return m_path; }
    // Keeps the file when the object dies.
    void SetKeep(bool keep = true) { m_keep = keep; }
    bool GetKeep() const { return m_keep; }

private:
    LocalFileSystem& m_fileSystem;
    std::string m_path;
    bool m_keep = false;
};

// The start-up sweep: deletes every entry of {root}/temp whose name begins with "TMP" and does
// not end in ".", whatever its age. Reports nothing.
void DeleteTemporaryFiles();

}  // namespace Quor::Common
