#include "remote/ManifestLines.h"

#include <gtest/gtest.h>

namespace Quor::Common::ManifestLines {
namespace {

// A file of more than 2^31 lines must not overflow the line counter (undefined behaviour).
TEST(ManifestLines, LineNumbersStopAtTheLargestIntInsteadOfOverflowing) {
    EXPECT_EQ(NextLineNumber(1), 2);
    EXPECT_EQ(NextLineNumber(INT_MAX - 1), INT_MAX);
    EXPECT_EQ(NextLineNumber(INT_MAX), INT_MAX);
}

}  // namespace
}  // namespace Quor::Common::ManifestLines
