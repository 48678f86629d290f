#include "common/RelativeName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Quor::Common::IsValidRelativeName;

TEST(RelativeName, AcceptsPlainRelativePaths) {
    for (const char* name : {"a", "a/b", "data/textures/x.dds", "..a", "a..", ".hidden/x", "a b/c"})
        EXPECT_TRUE(IsValidRelativeName(name)) << name;
}

TEST(RelativeName, RefusesNamesThatCouldLeaveTheirFolder) {
    const std::string withNul("a/\0b", 4);
    for (const std::string& name :
         std::vector<std::string>{"", "/", "/a", "a/", "a//b", ".", "..", "../x", "a/../b", "a/..", "./a",
                                  "a/./b", "a\\b", "..\\x", withNul})
        EXPECT_FALSE(IsValidRelativeName(name)) << '"' << name << '"';
}
