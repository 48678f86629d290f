#pragma once
// Quor::API::Impl::RuntimeEnvironment: the installed release a client program runs from, read
// once from the working folder ({root}/projects/{project}/releases/{a.b.c.d}/... or
// {root}/solutions/{solution}/releases/{a.b.c.d}/...), its release manifests (one for a project;
// one per project of the solution's configuration, highest priority first) and a map from every
// file path of those manifests (lower-cased, "/"-separated) to its manifest and entry. A path held
// by several manifests maps to the first loaded.
//
// The object is usable whatever the constructor reported: a failure leaves the manifests loaded
// before it and the map built from them. Read-only after construction, so any thread may read it.
// ManifestData pointers stay valid for the environment's lifetime.
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/ReleaseManifest.h"
#include "common/ReleaseManifestCache.h"
#include "foundation/Types.h"

namespace Quor::API::Impl {

struct ManifestData {
    const Quor::Common::ReleaseManifest* manifest = nullptr;
    const Quor::Common::ReleaseManifest::ENTRY* entry = nullptr;
};

class RuntimeEnvironment {
public:
    static constexpr DWORD KIND_PROJECT = 0;
    static constexpr DWORD KIND_SOLUTION = 1;
    static constexpr DWORD KIND_UNDETERMINED = 2;

    RuntimeEnvironment(HRESULT& hr, Quor::Common::ReleaseManifestCache& cache, bool loadingDisabled);
    RuntimeEnvironment(const RuntimeEnvironment&) = delete;
    RuntimeEnvironment& operator=(const RuntimeEnvironment&) = delete;

    void GenerateFileMap();
    // The entry of a path ("\" or "/", any case), or null.
    const ManifestData* GetManifestData(const std::string& path) const;

    const std::string& GetDeployFolder() const { return m_DeployFolder; }
    const std::vector<std::unique_ptr<Quor::Common::ReleaseManifest>>& GetManifests() const { return m_Manifests; }
    DWORD GetKind() const { return m_Kind; }
    const std::string& GetName() const { return m_Name; }
    DWORD GetVersion() const { return m_Version; }
    Quor::Common::ReleaseManifestCache& GetManifestCache() const { return m_Cache; }

private:
    HRESULT Determine(const std::string& workingFolder);
    HRESULT LoadProject(const std::string& root, const std::string& versionText);
    HRESULT LoadSolution(const std::string& root, const std::string& versionText);
    HRESULT LoadReleaseManifest(const std::string& path, const char* failureFormat);

    std::string m_DeployFolder;
    std::vector<std::unique_ptr<Quor::Common::ReleaseManifest>> m_Manifests;
    std::unordered_map<std::string, ManifestData> m_FileMap;
    DWORD m_Kind = KIND_UNDETERMINED;
    std::string m_Name;
    DWORD m_Version = 0;
    Quor::Common::ReleaseManifestCache& m_Cache;
};

namespace Helper {
// Replaces path by where the entry lies on disk: managedfiles (flag 1, which wins), filearchives
// (flag 2), else the environment's deploy folder. A null entry leaves path as it is.
void FindBestPath(const RuntimeEnvironment& environment, const Quor::Common::ReleaseManifest* manifest,
                  const Quor::Common::ReleaseManifest::ENTRY* entry, std::string& path);
}  // namespace Helper

}  // namespace Quor::API::Impl
