#include "tests/kit/content/TreeSnapshot.h"

#include <filesystem>
#include <memory>

#include "archive/IMain.h"
#include "remote/MD5.h"
#include "remote/MD5Helper.h"

namespace QuorTest {

namespace fs = std::filesystem;

namespace {

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string DigestText(const MD5::DIGEST& digest) {
    std::string text;
    MD5::ToString(digest, text);
    return text;
}

bool Skipped(const std::string& relative, const std::vector<std::string>& skip) {
    for (const std::string& prefix : skip)
        if (relative.rfind(prefix, 0) == 0) return true;
    return false;
}

// The stored files of the pairs in `folder`, as "<relative>:<stored path>".
void AddArchives(const std::string& folder, const std::string& relative, TreeSnapshot& snapshot) {
    std::shared_ptr<Quor::FileSystem::IManager> manager;
    if (!Quor::FileSystem::Instance().CreateManager(manager, folder, "")) {
        snapshot[relative + ":"] = "<archives not readable>";
        return;
    }
    std::vector<std::string> stored;
    manager->GetContents(stored);
    for (const std::string& path : stored) {
        std::string archive;
        uint32_t offset = 0, size = 0;
        MD5::DIGEST digest;
        if (!manager->Find(path, archive, offset, size) ||
            FAILED(Quor::Common::MD5Helper::ComputeMD5(folder + "/" + archive, offset, size, digest)))
            snapshot[relative + ":" + path] = "<not readable>";
        else
            snapshot[relative + ":" + path] = DigestText(digest);
    }
}

}  // namespace

std::string Md5Hex(const std::string& bytes) {
    MD5 md5;
    md5.Update(bytes.data(), static_cast<UINT>(bytes.size()));
    md5.Final();
    return DigestText(md5.GetDigest());
}

TreeSnapshot TakeSnapshot(const std::string& folder, const std::vector<std::string>& skip) {
    TreeSnapshot snapshot;
    std::vector<fs::path> pending{fs::path(folder)};
    while (!pending.empty()) {
        const fs::path current = pending.back();
        pending.pop_back();
        const std::string currentRelative = fs::relative(current, folder).generic_string();
        bool empty = true, archives = false;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(current, ec)) {
            empty = false;
            const std::string relative = fs::relative(entry.path(), folder).generic_string();
            if (Skipped(relative, skip) || Skipped(relative + "/", skip)) continue;
            const std::string name = entry.path().filename().string();
            if (entry.is_symlink()) {
                snapshot[relative] = "<link>";
            } else if (entry.is_directory()) {
                pending.push_back(entry.path());
            } else if (EndsWith(name, ".zef") || EndsWith(name, ".zef.dat")) {
                archives = true;
            } else {
                MD5::DIGEST digest;
                snapshot[relative] = SUCCEEDED(Quor::Common::MD5Helper::ComputeMD5(entry.path().string(), digest))
                                         ? DigestText(digest)
                                         : "<not readable>";
            }
        }
        if (empty && currentRelative != ".") snapshot[currentRelative + "/"] = "<empty folder>";
        if (archives) AddArchives(current.string(), currentRelative, snapshot);
    }
    return snapshot;
}

std::string SnapshotDifference(const TreeSnapshot& expected, const TreeSnapshot& actual) {
    std::string lines;
    auto e = expected.begin();
    auto a = actual.begin();
    while (e != expected.end() || a != actual.end()) {
        if (a == actual.end() || (e != expected.end() && e->first < a->first)) {
            lines += "- " + e->first + "\n";
            ++e;
        } else if (e == expected.end() || a->first < e->first) {
            lines += "+ " + a->first + "\n";
            ++a;
        } else {
            if (e->second != a->second && e->second != kAnyContent) lines += "~ " + e->first + ": " + e->second + " -> " + a->second + "\n";
            ++e;
            ++a;
        }
    }
    return lines;
}

}  // namespace QuorTest
