// How much memory cutting a piece out of a file takes: this program replaces operator new and
// records the largest allocation made while a call runs.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "common/FileSysHelper.h"
#include "tests/kit/TempDir.h"

namespace {
std::atomic<bool> g_watching{false};
std::atomic<size_t> g_largest{0};

void* Allocate(size_t size) {
    if (g_watching.load()) {
        size_t seen = g_largest.load();
        while (size > seen && !g_largest.compare_exchange_weak(seen, size)) {
        }
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace {

// Packages are cut into thousands of small files: a small piece must not cost a 10 MiB buffer.
TEST(FileSysHelperAllocation, SmallPieceTakesASmallBuffer) {
    QuorTest::TempDir dir("extractalloc");
    QuorTest::WriteFile(dir / "package", std::string(100000, 'p'));
    for (int i = 0; i < 3; ++i) {
        g_largest = 0;
        g_watching = true;
        const HRESULT hr = Quor::Common::FileSysHelper::ExtractPieceOfBinaryFile(dir / "package", 5000, 300,
                                                                                 dir / "piece");
        g_watching = false;
        EXPECT_EQ(hr, S_OK);
        EXPECT_LT(g_largest.load(), 64u * 1024) << "largest allocation while cutting 300 bytes";
    }
    EXPECT_EQ(QuorTest::ReadFile(dir / "piece"), std::string(300, 'p'));
}

}  // namespace
