#include "kernel/JobSetup.h"

#include <gtest/gtest.h>

#include <string>

namespace Quor::Orvane {
namespace {

TEST(IsRefusedReaderPath, OtherSpellingsPassWhatCouldLeaveTheFolderDoesNot) {
    struct Case {
        std::string path;
        bool refused;
    };
    const Case cases[] = {
        {"data/base.pak", false},
        {"data\\base.pak", false},
        {"data//base.pak", false},
        {"data\\\\/base.pak", false},
        {"base.pak", false},
        {"/data/base.pak", true},
        {"\\data\\base.pak", true},
        {"//data/base.pak", true},
        {"data/../base.pak", true},
        {"data\\..\\..\\base.pak", true},
        {"..", true},
        {"./data/base.pak", true},
        {"data/", true},
        {std::string("data/base.pak\0/../x", 19), true},
        {std::string("data/\0", 6), true},
        {"", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("path \"" + c.path + "\"");
        EXPECT_EQ(c.refused, IsRefusedReaderPath(c.path));
    }
}

}  // namespace
}  // namespace Quor::Orvane
