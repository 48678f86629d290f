#include "tools/manifest/FolderScan.h"

#include <algorithm>
#include <filesystem>

#include "common/RelativeName.h"
#include "remote/MD5Helper.h"

namespace Quor::Tools {

namespace fs = std::filesystem;

bool ScanFolder(const std::string& folder, DWORD version, DWORD flags, Common::ReleaseManifest& manifest,
                std::string& error) {
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, ec), end;
    if (ec) {
        error = "cannot list \"" + folder + "\": " + ec.message();
        return false;
    }
    for (; it != end; it.increment(ec)) {
        if (ec) break;
        if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
        const std::string name = fs::relative(it->path(), folder, ec).generic_string();
        const uintmax_t size = it->file_size(ec);
        if (ec) break;
        if (!Common::IsValidRelativeName(name) ||
            name.size() > Common::ReleaseManifest::MAX_ENTRY_NAME_LENGTH) {
            error = "the system would refuse the name \"" + name + "\"";
            return false;
        }
        if (size > 0xFFFFFFFFu) {
            error = "\"" + name + "\" is 4 GiB or larger";
            return false;
        }
        MD5::DIGEST digest;
        if (FAILED(Common::MD5Helper::ComputeMD5(it->path().string(), digest))) {
            error = "cannot read \"" + it->path().string() + "\"";
            return false;
        }
        manifest.AddUnsorted(name, version, digest, flags, static_cast<DWORD>(size),
                             static_cast<DWORD>(size));
    }
    if (ec) {
        error = "cannot list \"" + folder + "\": " + ec.message();
        return false;
    }
    manifest.SortEntries(nullptr);
    const auto& entries = manifest.m_Entries;
    auto same = std::adjacent_find(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return !Common::ReleaseManifest::ENTRY::PredicateByName(a, b);
    });
    if (same != entries.end()) {
        error = "\"" + same->name + "\" and \"" + std::next(same)->name + "\" differ only in case";
        return false;
    }
    return true;
}

}  // namespace Quor::Tools
