// Hashing ahead: whatever the workers did, each answer and the asking thread's log lines are those
// of MD5Helper::ComputeMD5 called at that moment.
#include "remote/MD5Ahead.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "common/testing/LogCapture.h"
#include "remote/MD5Helper.h"
#include "tests/kit/TempDir.h"

namespace Quor::Common {
namespace {

struct Answer {
    HRESULT hr;
    std::string digest;
    bool operator==(const Answer&) const = default;
};

Answer Hex(HRESULT hr, const MD5::DIGEST& digest) {
    std::string text;
    MD5::ToString(digest, text);
    return {hr, text};
}

class MD5AheadTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 40; ++i) {
            // Sizes around the read block and an empty file among small ones.
            const size_t size = i == 7 ? 0 : i % 10 == 3 ? 256 * 1024 + static_cast<size_t>(i) : 1000u * static_cast<size_t>(i);
            std::string bytes(size, '\0');
            for (size_t b = 0; b < size; ++b) bytes[b] = static_cast<char>(b * 31 + static_cast<size_t>(i));
            QuorTest::WriteFile(Path("f" + std::to_string(i)), bytes);
            listed.push_back(Path("f" + std::to_string(i)));
        }
        QuorTest::WriteFile(Path("unlisted"), "not in the list");
        QuorTest::MakeDirs(Path("folder"));
        ASSERT_EQ(::symlink(Path("f12").c_str(), Path("link").c_str()), 0);
        for (const char* odd : {"missing", "folder", "link"}) listed.insert(listed.begin() + 20, Path(odd));
        // The asker passes files over, asks one twice and one that is not listed.
        for (size_t i = 0; i < listed.size(); ++i) {
            if (i % 7 == 5) continue;
            asked.push_back(listed[i]);
            if (i == 9) asked.push_back(listed[i]);
            if (i == 30) asked.push_back(Path("unlisted"));
        }
    }
    std::string Path(const std::string& name) const { return dir.path() + "/" + name; }

    QuorTest::TempDir dir{"md5ahead"};
    std::vector<std::string> listed;
    std::vector<std::string> asked;
};

TEST_F(MD5AheadTest, AnswersAndLogLinesAreThoseOfHashingThen) {
    std::vector<Answer> expected;
    std::string expectedLines;
    {
        QuorTest::LogCapture log;
        for (const std::string& path : asked) {
            MD5::DIGEST digest = {};
            const HRESULT hr = MD5Helper::ComputeMD5(path, digest);
            expected.push_back(Hex(hr, digest));
        }
        expectedLines = log.AllOf(std::this_thread::get_id());
    }
    ASSERT_EQ(expected[0].hr, S_OK);
    ASSERT_NE(expectedLines.find("Failed opening"), std::string::npos) << expectedLines;

    struct Case {
        unsigned workers;
        signed char cancel;
    };
    for (const Case& c : {Case{0, 0}, Case{3, 0}, Case{3, 1}}) {
        std::vector<Answer> answers;
        QuorTest::LogCapture log;
        {
            MD5Ahead ahead(listed, c.workers, &c.cancel);
            for (const std::string& path : asked) {
                MD5::DIGEST digest = {};
                const HRESULT hr = ahead.ComputeMD5(path, digest);
                answers.push_back(Hex(hr, digest));
            }
        }
        EXPECT_EQ(answers, expected) << c.workers << " " << int{c.cancel};
        // The pool's own lines name its workers; the hashing lines are the same.
        EXPECT_EQ(log.AllOf(std::this_thread::get_id(), "ThreadPool"), expectedLines) << c.workers << " " << int{c.cancel};
        // The workers hash quietly: every hashing line is the asker's.
        EXPECT_EQ(log.Count("(\"" + Path("f0") + "\")"), 1u);
    }
}

// Workers still hashing files the asker never comes to do not hold up its end.
TEST_F(MD5AheadTest, EndsWithFilesNeverAskedFor) {
    MD5Ahead ahead(listed, 4, nullptr);
    MD5::DIGEST digest = {};
    EXPECT_EQ(ahead.ComputeMD5(listed[1], digest), S_OK);
}

}  // namespace
}  // namespace Quor::Common
