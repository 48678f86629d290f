#include "tools/contenttree/ContentTreeBuilder.h"

#include <strings.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "common/ConvertVersion.h"
#include "common/LZMA.h"
#include "common/LocalDirectoryStructure.h"
#include "common/RelativeName.h"
#include "common/ReleaseManifest.h"
#include "common/SolutionManifest.h"
#include "common/ZLibHelper.h"
#include "remote/MD5.h"
#include "remote/PackageManifest.h"
#include "remote/PatchManifest.h"
#include "remote/ProjectVersionListing.h"
#include "remote/patch/BinaryPatch.h"

namespace Quor::Tools::ContentTree {

namespace fs = std::filesystem;
using Common::ConvertVersion;
using Common::ReleaseManifest;

namespace {

std::string Hex(HRESULT result) {
    char text[16];
    snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(result));
    return text;
}

bool ReadBytes(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream out;
    out << in.rdbuf();
    bytes = out.str();
    return true;
}

const FileSpec* FindFile(const ReleaseSpec& release, const std::string& name) {
    for (const FileSpec& file : release.files)
        if (strcasecmp(file.name.c_str(), name.c_str()) == 0) return &file;
    return nullptr;
}

class Builder {
public:
    Builder(const ContentDescription& description, const std::string& serverRoot)
        : m_description(description), m_base(serverRoot + description.downloadPath) {}

    bool Run(std::string& error) {
        bool ok = Check();
        for (const ProductSpec& project : m_description.projects) {
            if (!ok) break;
            ok = Product(project, false);
            for (const ReleaseSpec& release : project.releases) {
                if (!ok) break;
                ok = ProjectRelease(project, release);
            }
        }
        for (const ProductSpec& solution : m_description.solutions) {
            if (!ok) break;
            ok = Product(solution, true);
            for (const ReleaseSpec& release : solution.releases) {
                if (!ok) break;
                ok = SolutionRelease(solution, release);
            }
        }
        if (!ok) error = m_error;
        return ok;
    }

private:
    bool Fail(const std::string& why) {
        m_error = why;
        return false;
    }

    // Names become folders and file names of the tree: refuse any that could leave it.
    bool Check() {
        if (m_description.downloadPath.empty() || m_description.downloadPath[0] != '/' ||
            !Common::IsValidRelativeName(m_description.downloadPath.substr(1)))
            return Fail("download path \"" + m_description.downloadPath + "\" is no absolute server path");
        for (const auto* products : {&m_description.projects, &m_description.solutions})
            for (const ProductSpec& product : *products) {
                if (!Common::LocalDirectoryStructure::IsValidName(product.name))
                    return Fail("invalid name \"" + product.name + "\"");
                std::vector<std::string> regions = product.regionListings;
                for (const ReleaseSpec& release : product.releases) {
                    regions.insert(regions.end(), release.regions.begin(), release.regions.end());
                    for (const FileSpec& file : release.files)
                        if (!Common::IsValidRelativeName(file.name) ||
                            file.name.size() > ReleaseManifest::MAX_ENTRY_NAME_LENGTH)
                            return Fail(product.name + ": invalid file name \"" + file.name + "\"");
                    for (const auto& configuration : release.configurations)
                        if (!Common::LocalDirectoryStructure::IsValidName(configuration.first))
                            return Fail(product.name + ": invalid configuration \"" + configuration.first + "\"");
                }
                for (const std::string& region : regions)
                    if (!Common::LocalDirectoryStructure::IsValidName(region))
                        return Fail(product.name + ": invalid region \"" + region + "\"");
            }
        return true;
    }

    std::string Releases(const ProductSpec& product, bool solution) const {
        return m_base + (solution ? "/solutions/" : "/projects/") + product.name + "/releases/";
    }

    bool MakeParent(const std::string& path) {
        std::error_code ec;
        fs::create_directories(fs::path(path).parent_path(), ec);
        if (ec) return Fail("cannot create the folder of \"" + path + "\": " + ec.message());
        return true;
    }

    bool Write(const std::string& path, const std::string& bytes) {
        if (!MakeParent(path)) return false;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) return Fail("cannot write \"" + path + "\"");
        return true;
    }

    // A file that several releases name is written once; other bytes at the same path are an error.
    bool WriteOnce(const std::string& path, const std::string& bytes) {
        std::string present;
        if (fs::exists(path) && ReadBytes(path, present)) {
            if (present == bytes) return true;
            if (m_written.count(path)) return Fail("\"" + path + "\" is described with two different contents");
        }
        m_written.insert(path);
        return Write(path, bytes);
    }

    bool Compress(const std::string& source, const std::string& destination, bool lzma) {
        if (!MakeParent(destination)) return false;
        const HRESULT result = lzma ? Common::LZMA::CompressFile(source, destination, 0)
                                    : Common::ZLibHelper::CompressFile(source, destination, 0);
        if (FAILED(result)) return Fail("cannot compress \"" + source + "\" (" + Hex(result) + ")");
        return true;
    }

    // The file at path in `form` (0 plain, else ".compressed"/".z" zlib or ".lzma2"), from bytes.
    bool WriteForm(const std::string& path, const std::string& bytes, bool zlib, bool lzma) {
        if (!zlib && !lzma) return WriteOnce(path, bytes);
        if (!m_written.insert(path).second) return true;
        const std::string plain = path + ".plain";
        const bool ok = Write(plain, bytes) && Compress(plain, path, lzma);
        std::error_code ec;
        fs::remove(plain, ec);
        return ok;
    }

    bool Listing(const std::string& path, std::vector<DWORD> versions) {
        std::sort(versions.begin(), versions.end(), std::greater<DWORD>());
        std::string text;
        for (DWORD version : versions) text += ConvertVersion::ToString(version) + "\n";
        return Write(path, text);
    }

    bool Product(const ProductSpec& product, bool solution) {
        const std::string releases = Releases(product, solution);
        std::vector<DWORD> listed;
        for (const ReleaseSpec& release : product.releases)
            if (release.listed) listed.push_back(release.version);
        if (!Listing(releases + "releaselisting", listed)) return false;
        for (const std::string& region : product.regionListings) {
            std::vector<DWORD> offered;
            for (const ReleaseSpec& release : product.releases)
                if (std::find(release.regions.begin(), release.regions.end(), region) != release.regions.end())
                    offered.push_back(release.version);
            if (!Listing(releases + "releaselisting_" + region, offered)) return false;
        }
        for (const ReleaseSpec& release : product.releases)
            for (const std::string& region : release.regions)
                if (!Write(releases + ConvertVersion::ToString(release.version) + "/" + region + "_OK", ""))
                    return false;
        if (!product.versionListing.empty()) {
            Common::ProjectVersionListing listing;
            for (const auto& line : product.versionListing)
                for (DWORD version : line.second)
                    if (FAILED(listing.Add(version, line.first)))
                        return Fail(product.name + ": version listing refuses \"" + line.first + "\"");
            const std::string path = releases + "projectversionlisting";
            if (!MakeParent(path)) return false;
            const HRESULT result = listing.Save(path);
            if (FAILED(result)) return Fail("cannot write \"" + path + "\" (" + Hex(result) + ")");
        }
        return true;
    }

    std::string FilesPath(const ProductSpec& project, const FileSpec& file) const {
        return Releases(project, false) + ConvertVersion::ToString(file.version) + "/files/" + file.name;
    }

    // Suffix of the form a first download pass fetches.
    static std::string ServedSuffix(DWORD flags) {
        if (flags & ReleaseManifest::FLAG_ZLIB) return ".compressed";
        if (flags & ReleaseManifest::FLAG_LZMA) return ".lzma2";
        return "";
    }

    bool ProjectRelease(const ProductSpec& project, const ReleaseSpec& release) {
        const std::string folder = Releases(project, false) + ConvertVersion::ToString(release.version) + "/";
        ReleaseManifest manifest;
        manifest.m_ProjectName = project.name;
        manifest.m_ReleaseVersion = release.version;
        for (const FileSpec& file : release.files) {
            const std::string plain = FilesPath(project, file);
            if (!WriteOnce(plain, file.bytes)) return false;
            const bool zlib = file.flags & ReleaseManifest::FLAG_ZLIB, lzma = file.flags & ReleaseManifest::FLAG_LZMA;
            if (zlib && !Compress(plain, plain + ".compressed", false)) return false;
            if (lzma && !Compress(plain, plain + ".lzma2", true)) return false;
            std::error_code ec;
            const std::string served = plain + ServedSuffix(file.flags);
            const auto compressedSize = fs::file_size(served, ec);
            if (ec || compressedSize > 0xFFFFFFFFull || file.bytes.size() > 0xFFFFFFFFull)
                return Fail("\"" + served + "\" is missing or too large");
            MD5 md5;
            md5.Update(file.bytes.data(), static_cast<UINT>(file.bytes.size()));
            md5.Final();
            if (FAILED(manifest.Add(file.name, file.version, md5.GetDigest(), file.flags,
                                    static_cast<DWORD>(file.bytes.size()), static_cast<DWORD>(compressedSize))))
                return Fail(project.name + " " + ConvertVersion::ToString(release.version) + ": \"" + file.name +
                            "\" is named twice");
        }
        if (!MakeParent(folder + "releasemanifest")) return false;
        HRESULT result = manifest.Save(folder + "releasemanifest");
        if (FAILED(result)) return Fail("cannot write \"" + folder + "releasemanifest\" (" + Hex(result) + ")");

        if (release.binBytes > 0) {
            std::vector<std::string> names;
            for (const FileSpec& file : release.files)
                names.push_back(FilesPath(project, file).substr(m_base.size()) + ServedSuffix(file.flags));
            if (!Bins(folder + "packages/files/", names, release.binBytes)) return false;
        }
        for (const PatchSpec& patch : release.patches)
            if (!Patches(project, release, patch)) return false;
        return true;
    }

    // Puts the server files `names` (paths below the download path) into bins of about binBytes.
    bool Bins(const std::string& folder, const std::vector<std::string>& names, DWORD binBytes) {
        Common::PackageManifest packages;
        std::string bin;
        int binNumber = 0;
        auto flush = [&]() {
            if (bin.empty()) return true;
            return Write(folder + "bin" + std::to_string(binNumber++), bin);
        };
        for (const std::string& name : names) {
            std::string bytes;
            if (!ReadBytes(m_base + name, bytes)) return Fail("cannot read \"" + m_base + name + "\"");
            if (bin.size() + bytes.size() > 0xFFFFFFFFull) return Fail("\"" + name + "\" is too large for a bin");
            if (FAILED(packages.AddEntry(name, "bin" + std::to_string(binNumber), static_cast<DWORD>(bin.size()),
                                         static_cast<DWORD>(bytes.size()), 0)))
                return Fail("\"" + name + "\" is packed twice");
            bin += bytes;
            if (bin.size() >= binBytes) {
                if (!flush()) return false;
                bin.clear();
            }
        }
        if (!flush()) return false;
        if (!MakeParent(folder + "packagemanifest")) return false;
        const HRESULT result = packages.Save(folder + "packagemanifest");
        if (FAILED(result)) return Fail("cannot write \"" + folder + "packagemanifest\" (" + Hex(result) + ")");
        return true;
    }

    // The bytes a source release leaves on disk for `file`: stored compressed for a deploy file
    // kept compressed, else the plain content.
    std::string InstalledForm(const ProductSpec& project, const FileSpec& file) const {
        const bool deploy = (file.flags & (ReleaseManifest::FLAG_MANAGED | ReleaseManifest::FLAG_ARCHIVED)) == 0;
        if (deploy && (file.flags & ReleaseManifest::FLAG_STORED_COMPRESSED)) {
            std::string stored;
            if (ReadBytes(FilesPath(project, file) + ServedSuffix(file.flags), stored)) return stored;
        }
        return file.bytes;
    }

    bool Patches(const ProductSpec& project, const ReleaseSpec& release, const PatchSpec& patch) {
        const std::string what = project.name + " " + ConvertVersion::ToString(patch.source) + " -> " +
                                 ConvertVersion::ToString(release.version);
        const ReleaseSpec* source = project.FindRelease(patch.source);
        if (!source) return Fail(what + ": the source release is not described");
        if (patch.form != 0 && patch.form != Common::PatchManifest::FLAG_ZLIB &&
            patch.form != Common::PatchManifest::FLAG_LZMA)
            return Fail(what + ": a patch is zlib or LZMA, not both");
        const bool zlib = patch.form == Common::PatchManifest::FLAG_ZLIB;
        const bool lzma = patch.form == Common::PatchManifest::FLAG_LZMA;

        Common::PatchManifest manifest;
        manifest.m_ProjectName = project.name;
        manifest.m_SourceReleaseVersion = patch.source;
        manifest.m_DestinationReleaseVersion = release.version;
        std::vector<std::string> fetched;
        for (const FileSpec& file : release.files) {
            Common::PatchManifest::ENTRY entry;
            entry.name = file.name;
            entry.source = patch.source;
            entry.destination = release.version;
            entry.size = 0;
            const FileSpec* old = FindFile(*source, file.name);
            const std::string oldBytes = old ? InstalledForm(project, *old) : std::string();
            if (old && oldBytes == file.bytes) {
                entry.flags = Common::PatchManifest::FLAG_NO_DIFF;
            } else {
                entry.flags = (old ? 0 : Common::PatchManifest::FLAG_WHOLE_FILE) | patch.form;
                const std::string path = m_base + Common::GetRemoteFilePath(project.name, entry);
                if (old) {
                    if (!Diff(project, *old, file, path, zlib, lzma, entry.flags)) return false;
                } else if (!WriteForm(path, file.bytes, zlib, lzma)) {
                    return false;
                }
                if (!(entry.flags & Common::PatchManifest::FLAG_NO_DIFF)) {
                    std::error_code ec;
                    const auto size = fs::file_size(path, ec);
                    if (ec || size > 0x7FFFFFFFull) return Fail("\"" + path + "\" is missing or too large");
                    entry.size = static_cast<DWORD>(size);
                    fetched.push_back(Common::GetRemoteFilePath(project.name, entry));
                }
            }
            if (FAILED(manifest.AddEntry(entry.name, entry.source, entry.destination, entry.size, entry.flags)))
                return Fail(what + ": \"" + file.name + "\" is named twice");
        }
        const std::string folder = Releases(project, false) + ConvertVersion::ToString(release.version) + "/";
        const std::string path = folder + "patchmanifests/" + ConvertVersion::ToString(patch.source) + ".patchmanifest";
        if (!MakeParent(path)) return false;
        const HRESULT result = manifest.Save(path);
        if (FAILED(result)) return Fail("cannot write \"" + path + "\" (" + Hex(result) + ")");
        if (patch.binBytes > 0 &&
            !Bins(folder + "packages/patches/" + ConvertVersion::ToString(patch.source) + "/", fetched, patch.binBytes))
            return false;
        return true;
    }

    // Makes the patch from the old file's installed form to the new content at path.
    bool Diff(const ProductSpec& project, const FileSpec& old, const FileSpec& file, const std::string& path,
              bool zlib, bool lzma, DWORD& flags) {
        std::string original = FilesPath(project, old);
        if (InstalledForm(project, old) != old.bytes) original += ServedSuffix(old.flags);
        const std::string plain = (zlib || lzma) ? path + ".plain" : path;
        if (!MakeParent(plain)) return false;
        Common::BinaryPatch::CREATE_RESULT created = Common::BinaryPatch::CREATE_RESULT_DIFFERENCES_FOUND;
        const HRESULT result = Common::BinaryPatch::Create(original, FilesPath(project, file), plain, created);
        if (FAILED(result))
            return Fail("jdiff failed on \"" + original + "\" (is jdiff in {root}/system of the working folder?)");
        bool ok = true;
        if (created == Common::BinaryPatch::CREATE_RESULT_NO_DIFFERENCES)
            flags = Common::PatchManifest::FLAG_NO_DIFF;
        else if (zlib || lzma)
            ok = Compress(plain, path, lzma);
        if (plain != path || created == Common::BinaryPatch::CREATE_RESULT_NO_DIFFERENCES) {
            std::error_code ec;
            fs::remove(plain, ec);
        }
        return ok;
    }

    bool SolutionRelease(const ProductSpec& solution, const ReleaseSpec& release) {
        Common::SolutionManifest manifest;
        manifest.m_Name = solution.name;
        manifest.m_Version = release.version;
        const std::string what = solution.name + " " + ConvertVersion::ToString(release.version);
        for (const auto& project : release.projects)
            if (FAILED(manifest.AddProject(project.name, project.version, project.priority, project.flags)))
                return Fail(what + ": project \"" + project.name + "\" is refused");
        for (const auto& configuration : release.configurations)
            if (FAILED(manifest.AddConfiguration(configuration.first, configuration.second, 0)))
                return Fail(what + ": configuration \"" + configuration.first + "\" is refused");
        const std::string path = Releases(solution, true) + ConvertVersion::ToString(release.version) +
                                 "/solutionmanifest";
        if (!MakeParent(path)) return false;
        const HRESULT result = manifest.Save(path);
        if (FAILED(result)) return Fail("cannot write \"" + path + "\" (" + Hex(result) + ")");
        return true;
    }

    const ContentDescription& m_description;
    const std::string m_base;
    std::set<std::string> m_written;
    std::string m_error;
};

}  // namespace

bool BuildContentTree(const ContentDescription& description, const std::string& serverRoot, std::string& error) {
    return Builder(description, serverRoot).Run(error);
}

std::string ReleaseFolder(const std::string& serverRoot, const ContentDescription& description,
                          const std::string& name, DWORD version, bool solution) {
    return serverRoot + description.downloadPath + (solution ? "/solutions/" : "/projects/") + name + "/releases/" +
           ConvertVersion::ToString(version);
}

}  // namespace Quor::Tools::ContentTree
