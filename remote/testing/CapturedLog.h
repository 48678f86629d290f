#pragma once
// Test helper: records the text of every log line that passes the level while it lives (it
// installs itself as the log's writer and sets the level; when it dies the writer is removed and
// the level is back at the default, ERROR).
// Lines may come from any thread.
#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "common/Log.h"

namespace QuorTest {

class CapturedLog : public Quor::Log::IWrite {
public:
    explicit CapturedLog(Quor::Log::TYPE level = Quor::Log::VERBOSE) {
        Quor::Log::SetLogLevel(level);
        Quor::Log::SetIWrite(this);
    }
    ~CapturedLog() {
        Quor::Log::SetIWrite(nullptr);
        Quor::Log::SetLogLevel(Quor::Log::ERROR);
    }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    void Write(Quor::Log::TYPE type, const char* function, const char* text) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back({type, function ? function : "", text ? text : ""});
    }

    // How many lines hold exactly this text (any level).
    size_t Count(const std::string& text) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<size_t>(std::count_if(m_lines.begin(), m_lines.end(),
                                                 [&](const Line& line) { return line.text == text; }));
    }
    bool Has(const std::string& text) const { return Count(text) > 0; }
    // True when a line of this level holds exactly this text.
    bool Has(Quor::Log::TYPE type, const std::string& text) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::any_of(m_lines.begin(), m_lines.end(),
                           [&](const Line& line) { return line.type == type && line.text == text; });
    }
    // True when some line contains this text.
    bool Contains(const std::string& part) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::any_of(m_lines.begin(), m_lines.end(),
                           [&](const Line& line) { return line.text.find(part) != std::string::npos; });
    }
    // Every line as "tag: text", for failure messages.
    std::string All() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string all;
        for (const Line& line : m_lines) all += line.function + ": " + line.text + "\n";
        return all;
    }

private:
    struct Line {
        Quor::Log::TYPE type;
        std::string function;
        std::string text;
    };
    mutable std::mutex m_mutex;
    std::vector<Line> m_lines;
};

}  // namespace QuorTest
