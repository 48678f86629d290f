#include "remote/NorripPackage.h"

#include "common/Log.h"

namespace Quor::User {

namespace {
const char* const TAG_SETUP = "void Quor::User::NorripPackage::setupTemporary(Quor::Common::LocalFileSystem &, HRESULT &)";
const char* const TAG_GET_FULL_PATH = "const std::string & Quor::User::NorripPackage::GetFullPath() const";
}  // namespace

bool NorripPackage::IsReady() const { return !m_fullPath.empty() || m_temporary != nullptr; }

void NorripPackage::setupTemporary(Common::LocalFileSystem& fileSystem, HRESULT& result) {
    result = S_OK;
    if (!m_fullPath.empty() || m_temporary) return;
    auto temporary = std::make_shared<Common::AutoTemporaryFile>(fileSystem, result);
    if (FAILED(result)) {
        QUOR_LOG_TAG(Log::ERROR, TAG_SETUP, "Failed to create temp file");
        return;
    }
    m_temporary = std::move(temporary);
}

void NorripPackage::SetFullPath(const std::string& path) { m_fullPath = path; }

const std::string& NorripPackage::GetFullPath() const {
    static const std::string empty;
    if (!m_fullPath.empty()) return m_fullPath;
    if (m_temporary) return m_temporary->GetPath();
    QUOR_LOG_TAG(Log::ERROR, TAG_GET_FULL_PATH, "Was asked for a file name before a file was ready");
    return empty;
}

HRESULT NorripPackage::StartTransfer(NorripPackage&, IRemoteFileServer&, Common::LocalFileSystem&, const std::string&,
                                     DWORD&) {
    return E_FAIL;
}

}  // namespace Quor::User
