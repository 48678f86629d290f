// The main of every test program. ctest runs one case per process; a program started by hand
// with more than one case selected runs each of them in a child process of its own in the same
// way, so that process-wide state (working folder, singletons, caches) never leaks from one case
// into the next. The children's output goes straight through; a summary names the failed cases.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr const char* kChildVariable = "QUOR_TEST_CASE_CHILD";

// gtest's wildcard match: '*' any run of characters, '?' one character.
bool Matches(const char* pattern, const char* end, const char* name) {
    if (pattern == end) return *name == '\0';
    if (*pattern == '*') return Matches(pattern + 1, end, name) || (*name && Matches(pattern, end, name + 1));
    if (!*name) return false;
    return (*pattern == '?' || *pattern == *name) && Matches(pattern + 1, end, name + 1);
}

bool MatchesAny(const std::string& patterns, const std::string& name) {
    size_t start = 0;
    for (;;) {
        const size_t colon = patterns.find(':', start);
        const size_t stop = colon == std::string::npos ? patterns.size() : colon;
        if (Matches(patterns.data() + start, patterns.data() + stop, name.c_str())) return true;
        if (colon == std::string::npos) return false;
        start = colon + 1;
    }
}

// The full names of the cases the filter selects, as gtest would run them.
std::vector<std::string> SelectedCases() {
    const std::string filter = GTEST_FLAG_GET(filter);
    const auto dash = std::find(filter.begin(), filter.end(), '-');
    std::string positive(filter.begin(), dash);
    const std::string negative(dash == filter.end() ? dash : dash + 1, filter.end());
    if (positive.empty()) positive.push_back('*');
    const bool disabledToo = GTEST_FLAG_GET(also_run_disabled_tests);
    std::vector<std::string> selected;
    const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
    for (int s = 0; s < unit.total_test_suite_count(); ++s) {
        const testing::TestSuite& suite = *unit.GetTestSuite(s);
        for (int t = 0; t < suite.total_test_count(); ++t) {
            std::string name = suite.name();
            name += '.';
            name += suite.GetTestInfo(t)->name();
            if (!disabledToo && (name.rfind("DISABLED_", 0) == 0 || name.find(".DISABLED_") != std::string::npos))
                continue;
            if (MatchesAny(positive, name) && !(negative.size() && MatchesAny(negative, name))) selected.push_back(name);
        }
    }
    return selected;
}

// Runs the program again for one case; true when it passed.
bool RunInChild(const std::vector<std::string>& arguments, const std::string& name) {
    std::vector<std::string> args = arguments;
    args.emplace_back("--gtest_filter=");
    args.back() += name;
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv.data(), environ);
    if (rc != 0) {
        std::fprintf(stderr, "[quor] cannot start a child for %s: %s\n", name.c_str(), std::strerror(rc));
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The arguments for the children: everything but a filter, which each child gets its own of.
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        if (std::strncmp(argv[i], "--gtest_filter", 14) != 0 && std::strncmp(argv[i], "--gtest-filter", 14) != 0)
            arguments.push_back(argv[i]);
    testing::InitGoogleMock(&argc, argv);
    if (std::getenv(kChildVariable) || GTEST_FLAG_GET(list_tests) || !GTEST_FLAG_GET(internal_run_death_test).empty())
        return RUN_ALL_TESTS();
    const std::vector<std::string> selected = SelectedCases();
    if (selected.size() <= 1) return RUN_ALL_TESTS();

    setenv(kChildVariable, "1", 1);
    unsetenv("GTEST_FILTER");
    std::vector<std::string> failed;
    for (const std::string& name : selected)
        if (!RunInChild(arguments, name)) failed.push_back(name);
    std::printf("[quor] %zu cases, each in a process of its own: %zu passed, %zu failed\n", selected.size(),
                selected.size() - failed.size(), failed.size());
    for (const std::string& name : failed) std::printf("[quor] FAILED %s\n", name.c_str());
    return failed.empty() ? 0 : 1;
}
