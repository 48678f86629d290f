#include "common/ReleaseManifestCache.h"

#include "common/ConvertVersion.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "common/ProjectName.h"

namespace Quor::Common {

namespace {
const char* const GET_TAG =
    "HRESULT Quor::Common::ReleaseManifestCache::Get(const std::string &, const DWORD, "
    "const Quor::Common::ReleaseManifest *&)";
}  // namespace

HRESULT ReleaseManifestCache::Get(const std::string& project, const DWORD version,
                                  const ReleaseManifest*& manifest) {
    QUOR_LOG_TAG(Log::VERBOSE, GET_TAG, "(\"%s\", 0x%08lx)", project.c_str(),
                 static_cast<unsigned long>(version));
    manifest = nullptr;

    Key key(project, version);
    auto found = m_Manifests.find(key);
    if (found != m_Manifests.end()) {
        manifest = found->second.get();
        return S_OK;
    }

    if (!IsValidProjectName(project)) {
        QUOR_LOG_TAG(Log::ERROR, GET_TAG, "Invalid project name \"%s\"", project.c_str());
        return E_FAIL;
    }
    const std::string path = LocalRootFolder::Get() + "/projects/" + project + "/releases/" +
                             ConvertVersion::ToString(version) + "/releasemanifest";

    auto loaded = std::make_unique<ReleaseManifest>();
    const HRESULT hr = loaded->Load(path, nullptr);
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, GET_TAG, "Failure to load manifest \"%s\".", path.c_str());
        return hr;
    }
    manifest = loaded.get();
    m_Manifests.emplace(std::move(key), std::move(loaded));
    return S_OK;
}

}  // namespace Quor::Common
