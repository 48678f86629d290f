// Progress accounting: samples, windows and the rate they give, the remaining-time estimate,
// nested timers, reports to the sink, cancellation, thread slots, 64-bit byte counts and the
// bounded sample history.
#include "common/AutoUpdateProgress.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/AutoUpdateProgressHelper.h"
#include "common/Log.h"

using Quor::API::Progress;
using Quor::User::AutoUpdateProgress;
using Quor::User::ProgressWork;
using Quor::User::WORK_TYPE_DISK_ACCESS;
using Quor::User::WORK_TYPE_DOWNLOAD;
using Quor::User::WORK_TYPE_UNCLASSIFIED;
using Timer = AutoUpdateProgress::AutoTimer;

namespace {

class FakeClock final : public Quor::User::IProgressClock {
public:
    DWORD NowMs() override { return now.load(); }
    void Advance(DWORD ms) { now += ms; }
    std::atomic<DWORD> now{1000000};
};

class RecordingSink final : public Quor::API::IUpdateProgress {
public:
    void UpdateProgress(const Progress& progress) override {
        ++calls;
        last = progress;
    }
    int calls = 0;
    Progress last;
};

class LogRecorder final : public Quor::Log::IWrite {
public:
    LogRecorder() { Quor::Log::SetIWrite(this); }
    ~LogRecorder() { Quor::Log::SetIWrite(nullptr); }
    void Write(Quor::Log::TYPE, const char*, const char* text) override {
        std::lock_guard<std::mutex> lock(mutex);
        lines.emplace_back(text);
    }
    bool Has(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex);
        for (const std::string& line : lines)
            if (line == text) return true;
        return false;
    }
    std::mutex mutex;
    std::vector<std::string> lines;
};

std::string Estimate(AutoUpdateProgress& progress, unsigned type) {
    std::string text;
    progress.CreateEstimateString(type, text);
    return text;
}

}  // namespace

class AutoUpdateProgressTest : public ::testing::Test {
protected:
    FakeClock clock;
    RecordingSink sink;
    signed char cancel = 0;
};

TEST_F(AutoUpdateProgressTest, FiveSamplesOf600msGiveTheMiddleWindowRate) {
    AutoUpdateProgress progress(&sink, &cancel, Quor::User::UPDATE_PERIOD_FAST, clock);
    progress.DeltaBytesTotal(WORK_TYPE_DOWNLOAD, 10000);
    {
        Timer timer(progress, WORK_TYPE_DOWNLOAD);
        for (int i = 0; i < 5; ++i) {
            clock.Advance(600);
            timer.DeltaBytesCompleted(600);
        }
    }
    Progress record;
    progress.GetProgress(record);
    // Windows (1200 ms, 1200 B), (2400, 2400), (3000, 3000); middle index 1: rate 1.0 byte/ms.
    EXPECT_EQ(Estimate(progress, WORK_TYPE_DOWNLOAD),
              "WORK_TYPE_DOWNLOAD : ElapsedTime = 3000, Total = 10000, Completed = 3000, Rates = "
              "(1200: 1) (2400: 1) (3000: 1) ");
    EXPECT_FLOAT_EQ(record.m_RemainingSeconds, 7.0f);  // 7000 bytes at 1 byte/ms
    EXPECT_FLOAT_EQ(record.m_ElapsedSeconds, 3.0f);
    EXPECT_EQ(record.m_BytesDownloaded, 3000u);
    EXPECT_EQ(record.m_BytesToDownload, 10000u);
}

TEST_F(AutoUpdateProgressTest, NestedTimerTimeIsExcludedFromTheOuterSample) {
    AutoUpdateProgress progress(&sink, &cancel, Quor::User::UPDATE_PERIOD_FAST, clock);
    {
        Timer outer(progress, WORK_TYPE_DOWNLOAD);
        clock.Advance(100);
        {
            Timer inner(progress, WORK_TYPE_DISK_ACCESS);
            clock.Advance(300);
            inner.DeltaBytesCompleted(3000);
        }
        clock.Advance(200);
        outer.DeltaBytesCompleted(600);
    }
    Progress record;
    progress.GetProgress(record);
    EXPECT_EQ(Estimate(progress, WORK_TYPE_DOWNLOAD),
              "WORK_TYPE_DOWNLOAD : ElapsedTime = 300, Total = 0, Completed = 600, Rates = (300: 2) ");
    EXPECT_EQ(Estimate(progress, WORK_TYPE_DISK_ACCESS),
              "WORK_TYPE_DISK_ACCESS : ElapsedTime = 300, Total = 0, Completed = 3000, Rates = (300: 10) ");
}

TEST_F(AutoUpdateProgressTest, EstimateRules) {
    // One window only: the default download rate (500 bytes/ms) stands.
    {
        AutoUpdateProgress progress(nullptr, nullptr, 100, clock);
        progress.DeltaBytesTotal(WORK_TYPE_DOWNLOAD, 1000000);
        {
            Timer timer(progress, WORK_TYPE_DOWNLOAD);
            clock.Advance(1500);
            timer.DeltaBytesCompleted(750000);
        }
        Progress record;
        progress.GetProgress(record);
        EXPECT_FLOAT_EQ(record.m_RemainingSeconds, 0.5f);
    }
    // A work with total 0 or below adds no remaining time, whatever its samples; the unclassified
    // kind (default rate 0) adds none until it has a measured rate.
    {
        AutoUpdateProgress progress(nullptr, nullptr, 100, clock);
        progress.DeltaBytesTotal(WORK_TYPE_DISK_ACCESS, -5);
        progress.DeltaBytesTotal(WORK_TYPE_UNCLASSIFIED, 5000);
        {
            Timer timer(progress, WORK_TYPE_DISK_ACCESS);
            clock.Advance(50);
            timer.DeltaBytesCompleted(100);
        }
        Progress record;
        progress.GetProgress(record);
        EXPECT_FLOAT_EQ(record.m_RemainingSeconds, 0.0f);
        EXPECT_FLOAT_EQ(record.m_ElapsedSeconds, 0.05f);
    }
}

TEST_F(AutoUpdateProgressTest, SmallStepsAccumulateUntilTenMilliseconds) {
    AutoUpdateProgress progress(nullptr, nullptr, 100, clock);
    {
        Timer timer(progress, WORK_TYPE_DISK_ACCESS);
        clock.Advance(4);
        timer.DeltaBytesCompleted(10);
        clock.Advance(5);
        timer.DeltaBytesCompleted(20);  // 9 ms: still pending
        clock.Advance(1);
        timer.DeltaBytesCompleted(30);  // 10 ms: one sample of all three
        clock.Advance(3);
        timer.DeltaBytesCompleted(0);   // pending 0: the timer's end records nothing
    }
    progress.Tick(1);
    EXPECT_EQ(Estimate(progress, WORK_TYPE_DISK_ACCESS),
              "WORK_TYPE_DISK_ACCESS : ElapsedTime = 10, Total = 0, Completed = 60, Rates = (10: 6) ");
    // Pending bytes left at the timer's end are recorded as a last sample.
    {
        Timer timer(progress, WORK_TYPE_DISK_ACCESS);
        clock.Advance(5);
        timer.DeltaBytesCompleted(40);
    }
    progress.Tick(1);
    EXPECT_EQ(Estimate(progress, WORK_TYPE_DISK_ACCESS),
              "WORK_TYPE_DISK_ACCESS : ElapsedTime = 15, Total = 0, Completed = 100, Rates = (15: 6.66667) ");
}

TEST_F(AutoUpdateProgressTest, TicksAreRateLimitedAndCarryTheCurrentItem) {
    AutoUpdateProgress progress(&sink, &cancel, 100, clock);
    Quor::User::AutoUpdateProgressHelper::SetStringDataToFilenameFromPath(progress, "data/maps/level1.dat");
    progress.Tick(0);
    EXPECT_EQ(sink.calls, 1);
    EXPECT_EQ(sink.last.m_CurrentItem, "level1.dat");
    clock.Advance(100);
    progress.Tick(0);  // not more than 100 ms later: nothing
    EXPECT_EQ(sink.calls, 1);
    progress.Tick(1);  // forced: at once
    EXPECT_EQ(sink.calls, 2);
    clock.Advance(101);
    progress.Tick(0);
    EXPECT_EQ(sink.calls, 3);
}

TEST_F(AutoUpdateProgressTest, CancelledTickLogsAndDoesNotReport) {
    LogRecorder log;
    AutoUpdateProgress progress(&sink, &cancel, 100, clock);
    progress.DeltaBytesTotal(WORK_TYPE_DOWNLOAD, 1000000);
    cancel = 1;
    progress.Tick(1);
    EXPECT_EQ(sink.calls, 0);
    EXPECT_TRUE(log.Has("Cancelled"));
    // The estimate is still fresh on request.
    Progress record;
    progress.GetProgress(record);
    EXPECT_FLOAT_EQ(record.m_RemainingSeconds, 2.0f);  // 1 000 000 bytes at the default 500 bytes/ms
}

TEST(AutoUpdateProgressHelper, FileNameIsThePartAfterTheLastSlash) {
    const struct {
        const char* path;
        const char* name;
    } cases[] = {{"a/b/c.dat", "c.dat"}, {"c.dat", "c.dat"}, {"a/b/", ""}, {"", ""}};
    for (const auto& c : cases) {
        RecordingSink sink;
        AutoUpdateProgress progress(&sink, nullptr, 100);
        Quor::User::AutoUpdateProgressHelper::SetStringDataToFilenameFromPath(progress, c.path);
        progress.Tick(1);
        EXPECT_EQ(sink.last.m_CurrentItem, c.name) << c.path;
    }
}

TEST_F(AutoUpdateProgressTest, ByteCountsPastFourGibibytesDoNotWrap) {
    LogRecorder log;
    AutoUpdateProgress progress(&sink, &cancel, 100, clock);
    const int64_t fiveGiB = int64_t(5) << 30;
    progress.DeltaBytesTotal(WORK_TYPE_DOWNLOAD, fiveGiB);
    {
        Timer timer(progress, WORK_TYPE_DOWNLOAD);
        clock.Advance(1000);
        timer.DeltaBytesCompleted(fiveGiB);
        Progress record;
        progress.GetProgress(record);
        // 32-bit fields saturate instead of showing 1 GiB.
        EXPECT_EQ(record.m_BytesToDownload, 0xFFFFFFFFu);
        EXPECT_EQ(record.m_BytesDownloaded, 0xFFFFFFFFu);
        clock.Advance(1000);
        timer.DeltaBytesCompleted(-(int64_t(3) << 30));
        progress.GetProgress(record);
        EXPECT_EQ(record.m_BytesDownloaded, 2u << 30);
        // Taking away more than was counted is refused.
        clock.Advance(1000);
        timer.DeltaBytesCompleted(-(int64_t(3) << 30));
        progress.GetProgress(record);
        EXPECT_EQ(record.m_BytesDownloaded, 2u << 30);
    }
    EXPECT_TRUE(log.Has("Subtracted more bytes than we originally had!"));
    EXPECT_NE(Estimate(progress, WORK_TYPE_DOWNLOAD).find("Total = 5368709120, "),
              std::string::npos);
}

TEST_F(AutoUpdateProgressTest, ThreadSlotsAndMisuse) {
    LogRecorder log;
    AutoUpdateProgress progress(&sink, &cancel, 100, clock);
    EXPECT_EQ(progress.GetCurrentThreadIndex(), 0);
    // Two more threads take the other slots and stay alive (a finished thread's id may be reused).
    std::atomic<int> taken{0};
    std::atomic<bool> release{false};
    std::vector<std::thread> holders;
    for (int i = 1; i <= 2; ++i) {
        holders.emplace_back([&] {
            EXPECT_GE(progress.GetCurrentThreadIndex(), 1);
            ++taken;
            while (!release) std::this_thread::yield();
        });
    }
    while (taken < 2) std::this_thread::yield();
    // A fourth thread gets no slot: its timer is inert and records nothing.
    std::thread([&] {
        EXPECT_EQ(progress.GetCurrentThreadIndex(), -1);
        Timer timer(progress, WORK_TYPE_DISK_ACCESS);
        EXPECT_FALSE(timer.IsThreadIndexValid());
        clock.Advance(50);
        timer.DeltaBytesCompleted(500);
    }).join();
    release = true;
    for (std::thread& holder : holders) holder.join();
    EXPECT_TRUE(log.Has("thread table full"));
    EXPECT_TRUE(log.Has("thread table was full"));

    // A timer used on another thread, or out of stack order, records nothing.
    {
        Timer outer(progress, WORK_TYPE_DISK_ACCESS);
        Timer inner(progress, WORK_TYPE_DISK_ACCESS);
        clock.Advance(50);
        outer.DeltaBytesCompleted(100);
        std::thread([&] { inner.DeltaBytesCompleted(100); }).join();
    }
    EXPECT_TRUE(log.Has("This autotimer is not the head of the stack"));
    EXPECT_TRUE(log.Has("AutoTimer created and called on different threads"));
    progress.DeltaBytesTotal(static_cast<Quor::User::WORK_TYPE>(3), 10);
    EXPECT_TRUE(log.Has("invalid work type"));
    progress.Tick(1);
    EXPECT_EQ(Estimate(progress, WORK_TYPE_DISK_ACCESS),
              "WORK_TYPE_DISK_ACCESS : ElapsedTime = 0, Total = 0, Completed = 0, Rates = ");
}

TEST(AutoUpdateProgressThreads, CurrentItemCanChangeWhileOtherThreadsTick) {
    RecordingSink sink;
    AutoUpdateProgress progress(&sink, nullptr, 0);
    std::atomic<bool> stop{false};
    std::thread ticker([&] {
        while (!stop) progress.Tick(1);
    });
    for (int i = 0; i < 20000; ++i) {
        Quor::User::AutoUpdateProgressHelper::SetStringDataToFilenameFromPath(
            progress, "folder/a-file-name-long-enough-to-live-on-the-heap-" + std::to_string(i));
    }
    stop = true;
    ticker.join();
    progress.Tick(1);
    EXPECT_EQ(sink.last.m_CurrentItem, "a-file-name-long-enough-to-live-on-the-heap-19999");
}

// The history of a long job stays bounded and keeps the windows close to those of the whole
// history.
namespace {

// Windows of a complete history, newest first (the reference the bounded one is held to).
std::vector<ProgressWork::Sample> ExactWindows(const std::vector<ProgressWork::Sample>& samples) {
    std::vector<ProgressWork::Sample> windows;
    uint64_t duration = 0, limit = 1000;
    int64_t bytes = 0;
    bool pending = false;
    for (auto it = samples.rbegin(); it != samples.rend(); ++it) {
        duration += it->duration;
        bytes += it->bytes;
        pending = true;
        if (duration > limit) {
            windows.push_back({duration, bytes});
            limit *= 2;
            pending = false;
        }
    }
    if (pending) windows.push_back({duration, bytes});
    return windows;
}

}  // namespace

TEST(ProgressWorkHistory, LongJobKeepsABoundedHistoryAndTheRate) {
    ProgressWork work(WORK_TYPE_DOWNLOAD);
    std::vector<ProgressWork::Sample> all;
    // Ten minutes at 1 byte/ms in samples of 10 to 19 ms, then twenty seconds at 3 bytes/ms.
    for (int i = 0; i < 40000; ++i) {
        const DWORD ms = 10 + static_cast<DWORD>(i % 10);
        work.AddSample(ms, ms);
        all.push_back({ms, static_cast<int64_t>(ms)});
    }
    for (int i = 0; i < 2000; ++i) {
        work.AddSample(10, 30);
        all.push_back({10, 30});
    }
    EXPECT_LE(work.Samples().size(), ProgressWork::kMaxSamples);
    work.UpdateEstimate();
    const auto exact = ExactWindows(all);
    ASSERT_EQ(work.Windows().size(), exact.size());
    const ProgressWork::Sample& bounded = work.Windows()[(exact.size() - 1) / 2];
    const ProgressWork::Sample& reference = exact[(exact.size() - 1) / 2];
    const double boundedRate = double(bounded.bytes) / double(bounded.duration);
    const double referenceRate = double(reference.bytes) / double(reference.duration);
    EXPECT_NEAR(boundedRate, referenceRate, referenceRate * 0.05);
    EXPECT_EQ(work.Completed(), int64_t(40000) * 145 / 10 + 60000);
    // The newest samples are kept exactly.
    EXPECT_EQ(work.Samples().back().duration, 10u);
    EXPECT_EQ(work.Samples().back().bytes, 30);
}
