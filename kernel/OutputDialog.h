#pragma once
// The sink that the "-debug" option installs as the log's writer. Without an output window it
// formats each line and discards it; it counts the lines it was given (for tests). One instance
// for the process (GetOutput); Write may be called from any thread.
#include <atomic>
#include <cstdint>

#include "common/Log.h"

namespace Quor::Orvane::OutputDialog {

class MyOutput : public Quor::Log::IWrite {
public:
    void Write(Quor::Log::TYPE type, const char* function, const char* text) override;
    virtual ~MyOutput() = default;
    uint64_t LinesWritten() const { return m_Lines.load(); }

private:
    std::atomic<uint64_t> m_Lines{0};
};

MyOutput& GetOutput();

}  // namespace Quor::Orvane::OutputDialog
