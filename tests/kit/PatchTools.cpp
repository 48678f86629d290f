// QuorTree's patch tools: our jdiff and jpatch, whose build paths CMake hands to this file only.
#include "remote/patch/PatchTestSupport.h"
#include "tests/kit/TempDir.h"

namespace QuorTest {

void QuorTree::InstallPatchTools() const {
    PatchTest::InstallTool(QUOR_KIT_JDIFF_PATH, system(), "jdiff");
    PatchTest::InstallTool(QUOR_KIT_JPATCH_PATH, system(), "jpatch");
}

void QuorTree::InstallStubTool(const std::string& name, int code) const {
    PatchTest::InstallStub(system(), name, code);
}

std::string JDiffPath() { return QUOR_KIT_JDIFF_PATH; }

}  // namespace QuorTest
