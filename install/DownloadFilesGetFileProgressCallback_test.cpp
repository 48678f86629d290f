#include "install/DownloadFilesGetFileProgressCallback.h"

#include <gtest/gtest.h>

#include "common/testing/LogCapture.h"

namespace {

using Quor::User::AutoUpdateProgress;
using Quor::User::DownloadFilesGetFileProgressCallback;

struct Case {
    bool stop;
    signed char cancel;
    HRESULT expected;
    uint32_t credited;
    bool logged;
};

// A raised stop flag aborts without crediting; a cancellation credits the bytes, then aborts.
TEST(DownloadFilesGetFileProgressCallbackTest, StopAndCancellationAbortTheTransfer) {
    for (const Case& c : {Case{false, 0, S_OK, 100, false}, Case{true, 0, E_FAIL, 0, false},
                          Case{true, 1, E_FAIL, 0, false}, Case{false, 1, E_ABORT, 100, true}}) {
        SCOPED_TRACE(testing::Message() << "stop " << c.stop << " cancel " << int(c.cancel));
        QuorTest::LogCapture log(Quor::Log::ERROR);
        signed char cancel = c.cancel;
        std::atomic<bool> stop{c.stop};
        AutoUpdateProgress progress(nullptr, &cancel, 100);
        {
            AutoUpdateProgress::AutoTimer timer(progress, Quor::User::WORK_TYPE_DOWNLOAD);
            DownloadFilesGetFileProgressCallback callback(&timer, &stop);
            EXPECT_EQ(c.expected, callback.GetFileProgressCallback(100));
        }
        Quor::API::Progress record;
        progress.GetProgress(record);
        EXPECT_EQ(c.credited, record.m_BytesDownloaded);
        EXPECT_EQ(c.logged, log.HasError("Cancellation request detected, aborting"));
    }
}

TEST(DownloadFilesGetFileProgressCallbackTest, WithoutStopFlagOnlyCancellationAborts) {
    signed char cancel = 0;
    AutoUpdateProgress progress(nullptr, &cancel, 100);
    AutoUpdateProgress::AutoTimer timer(progress, Quor::User::WORK_TYPE_DOWNLOAD);
    DownloadFilesGetFileProgressCallback callback(&timer, nullptr);
    EXPECT_EQ(S_OK, callback.GetFileProgressCallback(10));
    cancel = 1;
    EXPECT_EQ(E_ABORT, callback.GetFileProgressCallback(10));
}

// A transfer credits at most the bytes announced for it; the calls go on (for stop and cancel).
TEST(DownloadFilesGetFileProgressCallbackTest, CreditsNoMoreThanTheAnnouncedSize) {
    struct Bound {
        int64_t announced;
        uint32_t credited;
    };
    for (const Bound& b : {Bound{-1, 250}, Bound{250, 250}, Bound{180, 180}, Bound{0, 0}}) {
        SCOPED_TRACE(b.announced);
        signed char cancel = 0;
        AutoUpdateProgress progress(nullptr, &cancel, 100);
        {
            AutoUpdateProgress::AutoTimer timer(progress, Quor::User::WORK_TYPE_DOWNLOAD);
            DownloadFilesGetFileProgressCallback callback(&timer, nullptr, b.announced);
            for (const SIZE_T bytes : {100, 100, 50}) EXPECT_EQ(S_OK, callback.GetFileProgressCallback(bytes));
            EXPECT_EQ(b.credited, callback.Credited());
        }
        Quor::API::Progress record;
        progress.GetProgress(record);
        EXPECT_EQ(b.credited, record.m_BytesDownloaded);
    }
}

}  // namespace
