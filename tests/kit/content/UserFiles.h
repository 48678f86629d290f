#pragma once
// What a program and its user keep in the program's working folder (a release's deploy folder)
// and no release lists: the client library's "QUOR_DISABLED" switch, settings, a save in a folder
// of their own, an empty folder and a link to a file outside the tree. Plant writes them; AddTo
// puts what they must still be into an expected snapshot (TreeSnapshot.h). Test code only.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/kit/TempDir.h"
#include "tests/kit/content/TreeSnapshot.h"

namespace QuorTest::UserFiles {

inline const std::vector<std::pair<std::string, std::string>>& Files() {
    static const std::vector<std::pair<std::string, std::string>> files = {
        {"QUOR_DISABLED", ""},
        {"user.cfg", "volume = 7\n"},
        {"saves/slot1.sav", std::string(3000, 's')},
    };
    return files;
}

// Writes them below deploy; the link "outside.lnk" points at outside (a file of the test's).
inline void Plant(const std::string& deploy, const std::string& outside) {
    for (const auto& [name, bytes] : Files()) WriteFile(deploy + "/" + name, bytes);
    MakeDirs(deploy + "/saves/empty");
    std::filesystem::remove(deploy + "/outside.lnk");
    std::filesystem::create_symlink(outside, deploy + "/outside.lnk");
}

// relative: the deploy folder relative to the snapshot's root, ending in "/". The empty folder
// and the link are not in it (InstalledSnapshot leaves empty folders out, and a snapshot names a
// link by where it points): see StillThere.
inline void AddTo(TreeSnapshot& expected, const std::string& relative) {
    for (const auto& [name, bytes] : Files()) expected[relative + name] = Md5Hex(bytes);
}

// Whether the empty folder and the link (still pointing at outside) are in deploy.
inline bool StillThere(const std::string& deploy, const std::string& outside) {
    std::error_code none;
    return std::filesystem::is_directory(std::filesystem::symlink_status(deploy + "/saves/empty")) &&
           std::filesystem::is_symlink(deploy + "/outside.lnk") &&
           std::filesystem::read_symlink(deploy + "/outside.lnk", none) == outside;
}

}  // namespace QuorTest::UserFiles
