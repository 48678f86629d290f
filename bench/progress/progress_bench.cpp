// Progress reporting at 100 reports per second for ten minutes of simulated time (60 000 reports):
// each report credits the bytes of 10 ms of a download (one sample) and ticks the sink, which runs
// a full estimate. Prints the cost per report of each simulated minute and the ratio of the last
// minute's cost to the first's (flat cost: about 1.0; a history walked in full would grow ~10x).
//
//   quor_bench_progress [minutes]
#include <cstdio>
#include <cstdlib>

#include "bench/support/BenchSupport.h"
#include "common/AutoUpdateProgress.h"
#include "common/Log.h"

namespace {

class SimulatedClock final : public Quor::User::IProgressClock {
public:
    DWORD NowMs() override { return now; }
    DWORD now = 1000000;
};

class CountingSink final : public Quor::API::IUpdateProgress {
public:
    void UpdateProgress(const Quor::API::Progress& progress) override {
        ++reports;
        remaining += progress.m_RemainingSeconds;
    }
    long reports = 0;
    double remaining = 0;
};

using QuorBench::Now;

}  // namespace

int main(int argc, char** argv) {
    const int minutes = argc > 1 ? std::atoi(argv[1]) : 10;
    Quor::Log::SetLogLevel(Quor::Log::ERROR);
    SimulatedClock clock;
    CountingSink sink;
    Quor::User::AutoUpdateProgress progress(&sink, nullptr, 0, clock);
    progress.DeltaBytesTotal(Quor::User::WORK_TYPE_DOWNLOAD, int64_t(minutes) * 60 * 1000 * 2000);
    Quor::User::AutoUpdateProgress::AutoTimer timer(progress, Quor::User::WORK_TYPE_DOWNLOAD);
    double first = 0, last = 0;
    std::printf("minute  ns/report\n");
    for (int minute = 0; minute < minutes; ++minute) {
        const double start = Now();
        for (int i = 0; i < 6000; ++i) {
            clock.now += 10;
            timer.DeltaBytesCompleted(1500 + (i % 7) * 200);  // 150-270 KB/s
            progress.Tick(0);
        }
        const double perReport = (Now() - start) / 6000 * 1e9;
        if (minute == 0) first = perReport;
        last = perReport;
        std::printf("%6d  %9.0f\n", minute + 1, perReport);
    }
    std::printf("reports: %ld\n", sink.reports);
    std::printf("ratio last/first minute: %.2f (flat: about 1.0)\n", last / first);
    return 0;
}
