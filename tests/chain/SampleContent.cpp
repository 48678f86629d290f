#include "tests/chain/SampleContent.h"

#include <gtest/gtest.h>

#include <random>

#include "common/ConvertVersion.h"
#include "tests/kit/RunCommand.h"
#include "tests/kit/content/ExpectedInstall.h"

namespace ChainTest {

namespace {

// Levels data: random bytes of a fixed seed; the second release changes a few bytes in the middle
// and appends some.
std::string Levels(bool second) {
    std::mt19937 random(29);
    std::string bytes(1 << 20, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random());
    if (second) {
        bytes.replace(500000, 18, "level 7 redesigned");
        for (int i = 0; i < 65536; ++i) bytes.push_back(static_cast<char>(random()));
    }
    return bytes;
}

}  // namespace

SampleContent::SampleContent(const std::string& contentRoot, DWORD last) : m_contentRoot(contentRoot) {
    std::string text = QuorTest::ReadFile(QUOR_SAMPLE_CONTENT);
    if (last == kFirstRelease) {
        const size_t second = text.find("\n  release 0.0.0.2");
        if (second == std::string::npos) {
            ADD_FAILURE() << QUOR_SAMPLE_CONTENT << " has no release 0.0.0.2";
            return;
        }
        text.resize(second + 1);
    }
    const std::string description = m_work / "kiv_launcher.content";
    QuorTest::WriteFile(description, text);
    QuorTest::WriteFile(m_work / "files/KivLauncher", QuorTest::ReadFile(QUOR_SAMPLE_LAUNCHER));
    QuorTest::WriteFile(m_work / "files/levels-1.bin", Levels(false));
    QuorTest::WriteFile(m_work / "files/levels-2.bin", Levels(true));

    std::string error;
    if (!Quor::Tools::ContentTree::ReadContentDescription(description, m_description, error)) {
        ADD_FAILURE() << error;
        return;
    }
    const std::string errors = m_work / "quor-content.errors";
    const int status = QuorTest::RunCommand(
        QuorTest::ShellQuote(QUOR_CONTENT_TOOL) + " build " + QuorTest::ShellQuote(description) + " " +
        QuorTest::ShellQuote(contentRoot) + " --jdiff " + QuorTest::ShellQuote(QuorTest::JDiffPath()) + " 2>" +
        QuorTest::ShellQuote(errors));
    if (status != 0) {
        ADD_FAILURE() << "quor-content failed (" << status << "): " << QuorTest::ReadFile(errors);
        return;
    }
    m_built = true;
}

QuorTest::TreeSnapshot SampleContent::ExpectedInstall(DWORD release) const {
    return QuorTest::ExpectedProjectInstall(m_description, m_contentRoot, kProject, release);
}

uint64_t SampleContent::ChangedBytes(DWORD release) const {
    uint64_t bytes = 0;
    for (const auto& project : m_description.projects)
        if (const auto* described = project.FindRelease(release))
            for (const auto& file : described->files)
                if (file.version == release) bytes += file.bytes.size();
    return bytes;
}

std::string LauncherLine(const std::string& root, DWORD release) {
    const std::string version = Quor::Common::ConvertVersion::ToString(release);
    return "KivLauncher: release " + version + " in " + root + "/projects/" + kProject + "/releases/" + version +
           "/deploy, arguments: none\n";
}

}  // namespace ChainTest
