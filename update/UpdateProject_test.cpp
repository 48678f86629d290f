// Whether an entry's managed or archived copy lies where one of a range of release manifests keeps
// one: same name without regard to case, same version, same place (the flags of the forms do not
// count); null manifests count as none.
#include "update/UpdateProject.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Quor::Common::ReleaseManifest;

TEST(IsEntryInAnyReleaseManifestTest, MatchesTheManagedOrArchivedPlaceOfAnEntryByNameWithoutCaseAndVersion) {
    const unsigned char md5[16] = {};
    ReleaseManifest first, second;
    ASSERT_EQ(S_OK, first.Add("a/one.bin", 0x01000001, md5, 0x02, 10, 10));
    ASSERT_EQ(S_OK, second.Add("b/two.bin", 0x01000002, md5, 0x01, 20, 20));
    ASSERT_EQ(S_OK, second.Add("c/three.bin", 0x01000001, md5, 0x00, 30, 30));
    const std::vector<const ReleaseManifest*> manifests = {nullptr, &first, nullptr, &second};

    struct Case {
        const char* name;
        DWORD version;
        DWORD flags;
        bool found;
    };
    for (const Case& c : std::vector<Case>{{"a/one.bin", 0x01000001, 0x02, true},
                                           {"A/ONE.BIN", 0x01000001, 0x02, true},
                                           {"b/two.bin", 0x01000002, 0x01, true},
                                           {"a/one.bin", 0x01000002, 0x02, false},
                                           {"a/one.bin", 0x01000001, 0x00, false},
                                           {"a/one.bin", 0x01000001, 0x06, true},
                                           {"a/one.bin", 0x01000001, 0x26, true},
                                           {"a/one.bin", 0x01000001, 0x16, true},
                                           {"a/one.bin", 0x01000001, 0x03, false},
                                           {"b/two.bin", 0x01000002, 0x03, true},
                                           {"b/two.bin", 0x01000002, 0x0D, true},
                                           {"c/three.bin", 0x01000001, 0x00, true},
                                           {"d/none.bin", 0x01000001, 0x00, false}}) {
        ReleaseManifest::ENTRY entry;
        entry.name = c.name;
        entry.version = c.version;
        entry.flags = c.flags;
        EXPECT_EQ(c.found, Quor::User::UpdateProject::IsEntryInAnyReleaseManifest(entry, manifests.begin(),
                                                                                  manifests.end()))
            << c.name << " " << c.version << " " << c.flags;
    }
    EXPECT_FALSE(Quor::User::UpdateProject::IsEntryInAnyReleaseManifest(ReleaseManifest::ENTRY{}, manifests.begin(),
                                                                         manifests.begin()));
}

}  // namespace
