#pragma once
// Test helper: while it lives, sets the log level (VERBOSE unless told) and records every line that
// passes it, through the log's writer hook, so that tests can check the messages they expect.
// A level of USER keeps a test that fails many loads on purpose quiet. One capture at a time;
// not thread-safe.
#include <string>
#include <vector>

#include "common/Log.h"

namespace QuorTest {

class LogCapture : public Quor::Log::IWrite {
public:
    explicit LogCapture(Quor::Log::TYPE level = Quor::Log::VERBOSE) {
        Quor::Log::SetLogLevel(level);
        Quor::Log::SetIWrite(this);
    }
    ~LogCapture() {
        Quor::Log::SetIWrite(nullptr);
        Quor::Log::SetLogLevel(Quor::Log::ERROR);
    }
    void Write(Quor::Log::TYPE type, const char*, const char* text) override {
        m_Lines.push_back({type, text ? text : ""});
    }
    // True when a line of that level holds exactly `text`.
    bool Has(Quor::Log::TYPE type, const std::string& text) const {
        for (const auto& line : m_Lines)
            if (line.type == type && line.text == text) return true;
        return false;
    }
    bool HasError(const std::string& text) const { return Has(Quor::Log::ERROR, text); }
    std::string Errors() const {
        std::string all;
        for (const auto& line : m_Lines)
            if (line.type == Quor::Log::ERROR) all += line.text + "\n";
        return all;
    }
    void Clear() { m_Lines.clear(); }

private:
    struct Line {
        Quor::Log::TYPE type;
        std::string text;
    };
    std::vector<Line> m_Lines;
};

}  // namespace QuorTest
