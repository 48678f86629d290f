#pragma once
// The sample content of tools/samplelauncher (project kiv_launcher) for end-to-end tests: the
// description with the files it names (the built sample launcher, levels data made from a fixed
// seed) written to a work folder, and the content server's tree built from it by quor-content,
// either of release 0.0.0.1 alone or of both releases (0.0.0.2 with jdiff patches from 0.0.0.1).
// Errors fail the current test (ADD_FAILURE); built() tells whether the tree is there.
// Not thread-safe; the work folder is removed when the object dies.
#include <cstdint>
#include <string>

#include "foundation/Types.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/content/TreeSnapshot.h"
#include "tools/contenttree/ContentDescription.h"

namespace ChainTest {

inline constexpr DWORD kFirstRelease = 0x00000001;   // 0.0.0.1
inline constexpr DWORD kSecondRelease = 0x00000002;  // 0.0.0.2
inline constexpr const char* kProject = "kiv_launcher";
inline constexpr const char* kDownloadPath = "/quor";
inline constexpr const char* kRegion = "us";

class SampleContent {
public:
    // Writes the content tree of the releases up to `last` below contentRoot (served at "/").
    SampleContent(const std::string& contentRoot, DWORD last);

    bool built() const { return m_built; }
    const Quor::Tools::ContentTree::ContentDescription& description() const { return m_description; }
    // What a finished installation of `release` leaves below {root} (see ExpectedInstall.h).
    QuorTest::TreeSnapshot ExpectedInstall(DWORD release) const;
    // The bytes of the whole files that `release` changed or added against the one before it.
    uint64_t ChangedBytes(DWORD release) const;

private:
    QuorTest::TempDir m_work{"samplecontent"};
    std::string m_contentRoot;
    Quor::Tools::ContentTree::ContentDescription m_description;
    bool m_built = false;
};

// The line the sample launcher prints when it runs from `release` installed below root.
std::string LauncherLine(const std::string& root, DWORD release);

}  // namespace ChainTest
