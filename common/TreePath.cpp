#include "common/TreePath.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "foundation/OsContext.h"

namespace Quor::Common::TreePath {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// A folder, a link or a file may take a name between two looks at it; so many tries, then ELOOP.
constexpr int kAttempts = 4;

bool IsTreeRoot(const std::string& root) {
    return root.size() > 4 && root.compare(root.size() - 4, 4, "QUOR") == 0;
}

// The components of path below {root}; false (EINVAL) when path is not in the tree or holds a
// "." or ".." component.
bool Components(const std::string& path, std::string& root, std::vector<std::string>& components) {
    std::string native = path;
    std::replace(native.begin(), native.end(), '\\', '/');
    root = LocalRootFolder::Get();
    components.clear();
    if (!IsTreeRoot(root) || native.size() <= root.size() || native.compare(0, root.size(), root) != 0 ||
        native[root.size()] != '/') {
        errno = EINVAL;
        return false;
    }
    size_t at = root.size();
    while (at < native.size()) {
        while (at < native.size() && native[at] == '/') ++at;
        const size_t end = std::min(native.find('/', at), native.size());
        if (end == at) break;
        std::string name = native.substr(at, end - at);
        if (name == "." || name == "..") {
            errno = EINVAL;
            return false;
        }
        components.push_back(std::move(name));
        at = end;
    }
    if (components.empty() ||
        (components[0] != "projects" && components[0] != "solutions" && components[0] != "temp")) {
        errno = EINVAL;
        return false;
    }
    return true;
}

std::string Joined(const std::string& root, const std::vector<std::string>& components, size_t count) {
    std::string path = root;
    for (size_t i = 0; i < count; ++i) path += "/" + components[i];
    return path;
}

// The subfolder name of parent, never through a link (one at its place is removed as damage);
// with create, a missing one is made.
Vorn::UniqueFd OpenChildFolder(int parent, const std::string& name, bool create, const std::string& path) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        Vorn::UniqueFd folder(Vorn::Os().files.OpenAt(parent, name.c_str(), kFolderFlags, 0));
        if (folder.IsValid()) return folder;
        const int error = errno;
        if (error == ELOOP || error == ENOTDIR) {
            struct stat status {};
            if (::fstatat(parent, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT) continue;  // gone meanwhile: look again
                return {};
            }
            if (!S_ISLNK(status.st_mode)) {
                if (S_ISDIR(status.st_mode)) continue;  // a folder took the place meanwhile
                errno = ENOTDIR;
                return {};
            }
            if (!RemoveLink(parent, name, path)) return {};
            if (!create) {
                errno = ENOENT;
                return {};
            }
            continue;
        }
        if (error != ENOENT || !create) {
            errno = error;
            return {};
        }
        if (Vorn::Os().files.MkdirAt(parent, name.c_str(), 0755) != 0 && errno != EEXIST) return {};
    }
    errno = ELOOP;
    return {};
}

// Walks the first count components from {root}.
Vorn::UniqueFd Walk(const std::string& root, const std::vector<std::string>& components, size_t count, bool create) {
    Vorn::UniqueFd current(Vorn::Os().files.Open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    for (size_t i = 0; i < count && current.IsValid(); ++i)
        current = OpenChildFolder(current.Get(), components[i], create, Joined(root, components, i + 1));
    return current;
}

// A regular file opened through an open descriptor: anything else is refused (EINVAL). The
// descriptor is set back to blocking, and truncated when asked.
Vorn::UniqueFd Checked(Vorn::UniqueFd file, bool truncate) {
    struct stat status {};
    if (::fstat(file.Get(), &status) != 0) return {};
    if (!S_ISREG(status.st_mode)) {
        errno = EINVAL;
        return {};
    }
    const int flags = ::fcntl(file.Get(), F_GETFL);
    if (flags >= 0) ::fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK);
    if (truncate && ::ftruncate(file.Get(), 0) != 0) return {};
    return file;
}

}  // namespace

bool Contains(const std::string& path) {
    std::string root;
    std::vector<std::string> components;
    const int saved = errno;
    const bool inTree = Components(path, root, components);
    errno = saved;
    return inTree;
}

bool RemoveLink(int folder, const std::string& leaf, const std::string& path) {
    if (Vorn::Os().files.UnlinkAt(folder, leaf.c_str(), 0) != 0 && errno != ENOENT) {
        const int error = errno;
        QUOR_LOG(Log::ERROR, "A symbolic link stands where the tree holds \"%s\" and cannot be removed.",
                 path.c_str());
        errno = error;
        return false;
    }
    QUOR_LOG(Log::WARNING, "A symbolic link stood where the tree holds \"%s\": removed, not followed.",
             path.c_str());
    return true;
}

Vorn::UniqueFd OpenParent(const std::string& path, bool create, std::string& leaf) {
    std::string root;
    std::vector<std::string> components;
    if (!Components(path, root, components)) return {};
    leaf = components.back();
    return Walk(root, components, components.size() - 1, create);
}

Vorn::UniqueFd OpenHoldingFolder(const std::string& path, std::string& leaf) {
    if (Contains(path)) return OpenParent(path, false, leaf);
    std::string native = path;
    std::replace(native.begin(), native.end(), '\\', '/');
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    const size_t slash = native.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : native.substr(0, slash);
    leaf = slash == std::string::npos ? native : native.substr(slash + 1);
    return Vorn::UniqueFd(Vorn::Os().files.Open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
}

Vorn::UniqueFd OpenFolder(const std::string& path, bool create) {
    std::string root;
    std::vector<std::string> components;
    if (!Components(path, root, components)) return {};
    return Walk(root, components, components.size(), create);
}

bool StatLeaf(int folder, const std::string& leaf, const std::string& path, struct stat& status) {
    if (::fstatat(folder, leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISLNK(status.st_mode)) return true;
    RemoveLink(folder, leaf, path);
    errno = ENOENT;
    return false;
}

Vorn::UniqueFd OpenFile(const std::string& path, int flags, mode_t mode) {
    std::string leaf;
    const bool create = (flags & O_CREAT) != 0;
    const Vorn::UniqueFd parent = OpenParent(path, create, leaf);
    if (!parent.IsValid()) return {};
    const bool truncate = (flags & O_TRUNC) != 0 && (flags & O_ACCMODE) != O_RDONLY;
    const int base = (flags & (O_ACCMODE | O_APPEND)) | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    bool exclusive = create && (flags & O_EXCL) != 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        Vorn::UniqueFd file(exclusive ? Vorn::Os().files.OpenAt(parent.Get(), leaf.c_str(), base | O_CREAT | O_EXCL, mode)
                                      : Vorn::Os().files.OpenAt(parent.Get(), leaf.c_str(), base, 0));
        if (file.IsValid()) return Checked(std::move(file), truncate && !exclusive);
        const int error = errno;
        if (error == ENOENT && create) {
            exclusive = true;  // made new, so that nothing planted meanwhile is opened instead
            continue;
        }
        if (error == ELOOP || (error == EEXIST && exclusive)) {
            struct stat status {};
            if (::fstatat(parent.Get(), leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode)) {
                if (!RemoveLink(parent.Get(), leaf, path)) return {};
                if (!create) {
                    errno = ENOENT;
                    return {};
                }
                exclusive = true;
                continue;
            }
            if (error == EEXIST && (flags & O_EXCL) == 0) {
                exclusive = false;  // someone else made the file meanwhile: open theirs
                continue;
            }
        }
        errno = error;
        return {};
    }
    errno = ELOOP;
    return {};
}

}  // namespace Quor::Common::TreePath
