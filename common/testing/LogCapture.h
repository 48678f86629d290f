#pragma once
// Test helper: while it lives, sets the log level (VERBOSE unless told) and records every line that
// passes it (level, tag and text), through the log's writer hook, so that tests can check the
// messages they expect. When it dies the writer is removed and the level is back at the default,
// ERROR. A level of USER keeps a test that fails many loads on purpose quiet. One capture at a
// time; lines may come from any thread.
#include <algorithm>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/Log.h"

namespace QuorTest {

class LogCapture final : public Quor::Log::IWrite {
public:
    explicit LogCapture(Quor::Log::TYPE level = Quor::Log::VERBOSE) {
        Quor::Log::SetLogLevel(level);
        Quor::Log::SetIWrite(this);
    }
    ~LogCapture() {
        Quor::Log::SetIWrite(nullptr);
        Quor::Log::SetLogLevel(Quor::Log::ERROR);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    void Write(Quor::Log::TYPE type, const char* function, const char* text) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_Lines.push_back({type, function ? function : "", text ? text : "", std::this_thread::get_id()});
    }

    // How many lines hold exactly this text (any level).
    size_t Count(const std::string& text) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<size_t>(std::count_if(m_Lines.begin(), m_Lines.end(),
                                                 [&](const Line& line) { return line.text == text; }));
    }
    bool Has(const std::string& text) const { return Count(text) > 0; }
    // True when a line of that level holds exactly `text`.
    bool Has(Quor::Log::TYPE type, const std::string& text) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::any_of(m_Lines.begin(), m_Lines.end(),
                           [&](const Line& line) { return line.type == type && line.text == text; });
    }
    bool HasError(const std::string& text) const { return Has(Quor::Log::ERROR, text); }
    // True when some line contains this text.
    bool Contains(const std::string& part) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::any_of(m_Lines.begin(), m_Lines.end(),
                           [&](const Line& line) { return line.text.find(part) != std::string::npos; });
    }
    // The texts of the ERROR lines, one a line, for failure messages.
    std::string Errors() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string all;
        for (const auto& line : m_Lines)
            if (line.type == Quor::Log::ERROR) all += line.text + "\n";
        return all;
    }
    // Every line as "tag: text", for failure messages.
    std::string All() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string all;
        for (const Line& line : m_Lines) all += line.function + ": " + line.text + "\n";
        return all;
    }
    // Every line as "tag: text", one entry each (a text may hold line feeds of its own).
    std::vector<std::string> Entries() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> entries;
        for (const Line& line : m_Lines) entries.push_back(line.function + ": " + line.text);
        return entries;
    }
    // The lines one thread wrote, as "tag: text", in their order; with leaveOut, without the lines
    // whose tag holds that text.
    std::string AllOf(std::thread::id thread, const std::string& leaveOut = "") const {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string all;
        for (const Line& line : m_Lines)
            if (line.thread == thread && (leaveOut.empty() || line.function.find(leaveOut) == std::string::npos))
                all += line.function + ": " + line.text + "\n";
        return all;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_Lines.clear();
    }

private:
    struct Line {
        Quor::Log::TYPE type;
        std::string function;
        std::string text;
        std::thread::id thread;
    };
    mutable std::mutex m_mutex;
    std::vector<Line> m_Lines;
};

}  // namespace QuorTest
