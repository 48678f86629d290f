#include "tools/manifest/Printers.h"

#include <strings.h>

#include "common/ConfigurationManifest.h"
#include "common/RegularFile.h"
#include "common/ReleaseManifest.h"
#include "common/SolutionManifest.h"
#include "remote/PackageManifest.h"
#include "remote/PatchManifest.h"
#include "tools/manifest/Description.h"

namespace Quor::Tools {

bool DetectManifestKind(const std::string& path, ManifestKind& kind) {
    FILE* in = Common::OpenRegularFileStream(path);
    if (!in) return false;
    char first[64] = {};
    const size_t got = fread(first, 1, sizeof first - 1, in);
    fclose(in);
    const std::string head(first, got);
    const std::string line = head.substr(0, head.find_first_of("\r\n"));
    if (head.compare(0, 4, "RLSM") == 0)
        kind = ManifestKind::Release;
    else if (strcasecmp(line.c_str(), "Quor Solution Manifest") == 0)
        kind = ManifestKind::Solution;
    else if (strcasecmp(line.c_str(), "Quor Configuration Manifest") == 0)
        kind = ManifestKind::Configuration;
    else if (line == "PKG1")
        kind = ManifestKind::Package;
    else
        kind = ManifestKind::Patch;
    return true;
}

HRESULT PrintReleaseManifest(const std::string& path, FILE* out) {
    Common::ReleaseManifest manifest;
    const HRESULT hr = manifest.Load(path, nullptr);
    if (FAILED(hr)) return hr;
    fprintf(out, "# release manifest\n# project: %s\n# release: %s\n# entries: %zu\n",
            manifest.m_ProjectName.c_str(), VersionText(manifest.m_ReleaseVersion).c_str(),
            manifest.m_Entries.size());
    fprintf(out,
            "# flags: 0x01 managed, 0x02 archived, 0x04 zlib, 0x08 run once, 0x10 stored compressed, "
            "0x20 lzma\n# name version flags size compressedSize md5\n");
    for (const auto& entry : manifest.m_Entries) fprintf(out, "%s\n", DescribeEntry(entry).c_str());
    return S_OK;
}

HRESULT PrintSolutionManifest(const std::string& path, FILE* out) {
    Common::SolutionManifest manifest;
    const HRESULT hr = manifest.Load(path);
    if (FAILED(hr)) return hr;
    fprintf(out, "solution: %s\nversion: %s\nprojects: %zu\n", manifest.m_Name.c_str(),
            VersionText(manifest.m_Version).c_str(), manifest.m_Projects.size());
    for (const auto& p : manifest.m_Projects)
        fprintf(out, "  %s %s priority %u flags 0x%x\n", p.name.c_str(), VersionText(p.version).c_str(),
                p.priority, p.flags);
    fprintf(out, "configurations: %zu\n", manifest.m_Configurations.size());
    for (const auto& c : manifest.m_Configurations) {
        fprintf(out, "  %s flags 0x%x:", c.name.c_str(), c.flags);
        for (const auto& name : c.projects) fprintf(out, " %s", name.c_str());
        fprintf(out, "\n");
    }
    return S_OK;
}

HRESULT PrintConfigurationManifest(const std::string& path, FILE* out) {
    Common::ConfigurationManifest manifest;
    const HRESULT hr = manifest.Load(path);
    if (FAILED(hr)) return hr;
    fprintf(out, "configuration: %s\nprojects: %zu\n", manifest.m_Name.c_str(), manifest.m_Projects.size());
    for (const auto& name : manifest.m_Projects) fprintf(out, "  %s\n", name.c_str());
    return S_OK;
}

HRESULT PrintPackageManifest(const std::string& path, FILE* out) {
    Common::PackageManifest manifest;
    const HRESULT hr = manifest.Load(path);
    if (FAILED(hr)) return hr;
    fprintf(out, "files: %zu\n", manifest.m_Entries.size());
    for (const auto& e : manifest.m_Entries)
        fprintf(out, "  %s in %s at %u, %u bytes (value %u)\n", e.name.c_str(), e.bin.c_str(), e.offset,
                e.length, e.value);
    fprintf(out, "bins: %zu\n", manifest.m_Packages.size());
    for (const auto& p : manifest.m_Packages) fprintf(out, "  %s %u bytes used\n", p.bin.c_str(), p.total);
    return S_OK;
}

HRESULT PrintPatchManifest(const std::string& path, FILE* out) {
    Common::PatchManifest manifest;
    const HRESULT hr = manifest.Load(path);
    if (FAILED(hr)) return hr;
    fprintf(out, "project: %s\nfrom: %s\nto: %s\nentries: %zu\n", manifest.m_ProjectName.c_str(),
            VersionText(manifest.m_SourceReleaseVersion).c_str(),
            VersionText(manifest.m_DestinationReleaseVersion).c_str(), manifest.m_Entries.size());
    for (const auto& e : manifest.m_Entries)
        fprintf(out, "  %s %s -> %s size %u flags 0x%x: %s\n", e.name.c_str(), VersionText(e.source).c_str(),
                VersionText(e.destination).c_str(), e.size, e.flags,
                Common::GetRemoteFilePath(manifest.m_ProjectName, e).c_str());
    return S_OK;
}

}  // namespace Quor::Tools
