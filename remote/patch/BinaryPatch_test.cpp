#include "remote/patch/BinaryPatch.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "remote/patch/PatchTestSupport.h"
#include "tests/kit/TempDir.h"

namespace Quor::Common {
namespace {

using PatchTest::InstallStub;
using PatchTest::InstallTool;
using PatchTest::LogRecorder;
using QuorTest::Exists;
using QuorTest::ReadFile;
using QuorTest::WriteFile;

std::string Bytes(size_t size, uint64_t seed) {
    std::string s(size, '\0');
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 7;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        s[i] = static_cast<char>(x % 3 ? (i / 64) & 0x7F : x >> 24);
    }
    return s;
}

// A tree whose system folder holds our own jdiff and jpatch; the working folder is its system
// folder, so the root is the tree.
class BinaryPatchTools : public ::testing::Test {
protected:
    void SetUp() override {
        InstallTool(QUOR_JDIFF_PATH, tree.system(), "jdiff");
        InstallTool(QUOR_JPATCH_PATH, tree.system(), "jpatch");
    }
    // Create then Apply; the rebuilt file must equal updated.
    void RoundTrip(const std::string& original, const std::string& updated, BinaryPatch::CREATE_RESULT expected) {
        WriteFile(tree.root() + "old", original);
        WriteFile(tree.root() + "new", updated);
        BinaryPatch::CREATE_RESULT result = expected == BinaryPatch::CREATE_RESULT_NO_DIFFERENCES
                                                ? BinaryPatch::CREATE_RESULT_DIFFERENCES_FOUND
                                                : BinaryPatch::CREATE_RESULT_NO_DIFFERENCES;
        ASSERT_EQ(BinaryPatch::Create(tree.root() + "old", tree.root() + "new", tree.root() + "patch", result), S_OK);
        EXPECT_EQ(result, expected);
        ASSERT_EQ(BinaryPatch::Apply(tree.root() + "old", tree.root() + "patch", tree.root() + "out"), S_OK);
        EXPECT_TRUE(ReadFile(tree.root() + "out") == updated) << "the rebuilt file differs";
    }
    QuorTest::QuorTree tree;
    LogRecorder log;
};

TEST_F(BinaryPatchTools, RoundTripsEmptyIdenticalAndTinyFiles) {
    const std::string medium = Bytes(300000, 1);
    RoundTrip("", "", BinaryPatch::CREATE_RESULT_NO_DIFFERENCES);
    RoundTrip("", "x", BinaryPatch::CREATE_RESULT_DIFFERENCES_FOUND);
    RoundTrip("x", "", BinaryPatch::CREATE_RESULT_DIFFERENCES_FOUND);
    RoundTrip("a", "b", BinaryPatch::CREATE_RESULT_DIFFERENCES_FOUND);
    RoundTrip(medium, medium, BinaryPatch::CREATE_RESULT_NO_DIFFERENCES);
    std::string edited = medium;
    edited[1000] ^= 0x55;
    edited.insert(200000, "inserted block");
    RoundTrip(medium, edited, BinaryPatch::CREATE_RESULT_DIFFERENCES_FOUND);

    EXPECT_TRUE(log.Has("  DEBUG|Succeeded (exit code 1): Patch created successfully with no differences found."));
    EXPECT_TRUE(log.Has("  DEBUG|Patch created successfully with no differences found"));
    EXPECT_TRUE(log.Has("  DEBUG|Succeeded (exit code 0): Patch created successfully with differences found."));
    EXPECT_TRUE(log.Has("  DEBUG|Patch created successfully with differences found"));
    EXPECT_TRUE(log.Has("  DEBUG|Succeeded (exit code 0): Patch applied successfully."));
    EXPECT_TRUE(log.Has("  DEBUG|Patch application completed successfully."));
}

TEST_F(BinaryPatchTools, RoundTripsAHundredMebibyteFile) {
    std::string original = Bytes(100u << 20, 2);
    std::string updated = original;
    for (size_t at = 12345; at < updated.size(); at += 1 << 20) updated[at] ^= 0x21;
    updated.insert(50u << 20, Bytes(100000, 3));
    updated.erase(80u << 20, 64000);
    RoundTrip(original, updated, BinaryPatch::CREATE_RESULT_DIFFERENCES_FOUND);
}

TEST_F(BinaryPatchTools, LogsEachStepOfARun) {
    WriteFile(tree.root() + "old", "old");
    WriteFile(tree.root() + "new", "new");
    BinaryPatch::CREATE_RESULT result;
    ASSERT_EQ(BinaryPatch::Create(tree.root() + "old", tree.root() + "new", tree.root() + "patch", result), S_OK);
    log.Clear();
    ASSERT_EQ(BinaryPatch::Apply(tree.root() + "old", tree.root() + "patch", tree.root() + "out"), S_OK);
    const std::string tool = tree.root() + "system/jpatch";
    const auto lines = log.Lines();
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[0], "  DEBUG|Applying patch-file (\"" + tree.root() + "patch\") to original-file (\"" + tree.root() +
                            "old\") to create patched-file (\"" + tree.root() + "out\").");
    EXPECT_EQ(lines[1], "  DEBUG|originalFileName='" + tree.root() + "old', patchFileName='" + tree.root() +
                            "patch', patchedFileName='" + tree.root() + "out'");
    EXPECT_EQ(lines[2], "VERBOSE|Spawning '" + tool + "'.");
    EXPECT_EQ(lines[3].rfind("VERBOSE|Spawned '" + tool + "' (process ID=", 0), 0u) << lines[3];
    EXPECT_EQ(lines[4], "VERBOSE|Waiting for 'jpatch' to finish (no timeout).");
    EXPECT_EQ(lines[5], "VERBOSE|'jpatch' exited with code '0'.");
    EXPECT_EQ(lines[6], "  DEBUG|Succeeded (exit code 0): Patch applied successfully.");
    EXPECT_EQ(lines[7], "  DEBUG|Patch application completed successfully.");
}

// jpatch refuses a patch made against another original: Apply fails and writes nothing.
TEST_F(BinaryPatchTools, PatchForAnotherOriginalIsRefused) {
    WriteFile(tree.root() + "old", Bytes(5000, 4));
    WriteFile(tree.root() + "new", Bytes(5000, 5));
    WriteFile(tree.root() + "other", Bytes(5000, 6));
    BinaryPatch::CREATE_RESULT result;
    ASSERT_EQ(BinaryPatch::Create(tree.root() + "old", tree.root() + "new", tree.root() + "patch", result), S_OK);
    EXPECT_EQ(BinaryPatch::Apply(tree.root() + "other", tree.root() + "patch", tree.root() + "out"), E_FAIL);
    EXPECT_FALSE(Exists(tree.root() + "out"));
    EXPECT_TRUE(log.Has("  ERROR|Failed (exit code 7): Error reading file."));
    EXPECT_TRUE(log.Has("  ERROR|Error applying patch"));
}

class BinaryPatchStubs : public ::testing::Test {
protected:
    QuorTest::QuorTree tree;
    LogRecorder log;
};

TEST_F(BinaryPatchStubs, JDiffExitCodesGiveTheirResults) {
    const struct {
        int exit;
        HRESULT hr;
        const char* line;
    } cases[] = {
        {0, S_OK, "  DEBUG|Succeeded (exit code 0): Patch created successfully with differences found."},
        {1, S_OK, "  DEBUG|Succeeded (exit code 1): Patch created successfully with no differences found."},
        {2, E_FAIL, "  ERROR|Failed (exit code 2): Invalid arguments."},
        {3, E_FAIL, "  ERROR|Failed (exit code 3): Failed to open original file."},
        {4, E_FAIL, "  ERROR|Failed (exit code 4): Failed to open new file."},
        {5, E_FAIL, "  ERROR|Failed (exit code 5): Failed to open output file."},
        {6, E_FAIL, "  ERROR|Failed (exit code 6): Error seeking file."},
        {7, E_FAIL, "  ERROR|Failed (exit code 7): Out of memory."},
        {8, E_FAIL, "  ERROR|Failed (exit code 8): Unknown exit code."},
        {255, E_FAIL, "  ERROR|Failed (exit code 255): Unknown exit code."},
    };
    for (const auto& c : cases) {
        InstallStub(tree.system(), "jdiff", c.exit);
        log.Clear();
        BinaryPatch::CREATE_RESULT result = BinaryPatch::CREATE_RESULT_DIFFERENCES_FOUND;
        EXPECT_EQ(BinaryPatch::Create("a", "b", "c", result), c.hr) << c.exit;
        EXPECT_TRUE(log.Has(c.line)) << c.exit;
        if (c.exit == 1) {
            EXPECT_EQ(result, BinaryPatch::CREATE_RESULT_NO_DIFFERENCES);
        }
        if (FAILED(c.hr)) {
            EXPECT_TRUE(log.Has("  ERROR|Error creating patch")) << c.exit;
        }
    }
}

TEST_F(BinaryPatchStubs, JPatchExitCodesGiveTheirResults) {
    const char* messages[] = {"Patch applied successfully.",  "Invalid arguments.",        "Failed to open original file.",
                              "Failed to open patch file.",   "Failed to open output file.", "Error seeking file.",
                              "64-bit numbers not supported.", "Error reading file.",       "Error writing file.",
                              "Unknown exit code.",           "Unknown exit code."};
    for (int code = 0; code <= 10; ++code) {
        InstallStub(tree.system(), "jpatch", code);
        log.Clear();
        const HRESULT hr = BinaryPatch::Apply("a", "b", "c");
        const std::string expected = code == 0 ? "  DEBUG|Succeeded (exit code 0): " : "  ERROR|Failed (exit code " +
                                                                                          std::to_string(code) + "): ";
        EXPECT_TRUE(log.Has(expected + messages[code])) << code;
        EXPECT_EQ(hr, code == 0 ? S_OK : E_FAIL) << code;
        if (code) {
            EXPECT_TRUE(log.Has("  ERROR|Error applying patch")) << code;
        }
    }
}

TEST_F(BinaryPatchStubs, MissingToolFailsToSpawn) {
    EXPECT_EQ(BinaryPatch::Apply("a", "b", "c"), E_FAIL);
    const std::string spawn = "  ERROR|Failed to spawn '" + tree.root() + "system/jpatch'.  Ensure that the file exists.";
    const int spawnLine = log.IndexOf(spawn);
    EXPECT_GE(spawnLine, 0);
    EXPECT_GT(log.IndexOf("  ERROR|Unknown error"), spawnLine);
    EXPECT_GT(log.IndexOf("  ERROR|Error applying patch"), spawnLine);

    BinaryPatch::CREATE_RESULT result;
    EXPECT_EQ(BinaryPatch::Create("a", "b", "c", result), E_FAIL);
    EXPECT_TRUE(log.Has("  ERROR|Failed to spawn '" + tree.root() + "system/jdiff'.  Ensure that the file exists."));
}

}  // namespace
}  // namespace Quor::Common
