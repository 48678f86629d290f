#pragma once
// Test fixture base: a loopback port and a semaphore suffix of the test's own (ORVANE_PORT and
// ORVANE_INSTANCE, inherited by every kernel the test starts), and removal of the kernel's
// semaphore with the test (a kernel killed on a failed assertion leaves it behind).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "foundation/Semaphore.h"
#include "kernel/KernelThread.h"
#include "kernel/testing/TestKernel.h"

namespace QuorTest {

class OwnKernelTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseOwnInstance();
        port = PickLoopbackPort();
        ::setenv("ORVANE_PORT", std::to_string(port).c_str(), 1);
    }
    void TearDown() override { Vorn::Semaphore::Cleanup(Quor::Orvane::KernelThread::kInstanceMutexName); }

    uint16_t port = 0;
};

}  // namespace QuorTest
