#include "platform/AnswerPolicy.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <mutex>

namespace Quor::Platform {
namespace {

struct Script {
    std::mutex mutex;
    bool loaded = false;    // the environment was read (or a test replaced the script)
    bool scripted = false;  // a script was given at all
    std::deque<std::string> entries;
};

Script& TheScript() {
    static Script script;
    return script;
}

std::vector<std::string> SplitEntries(const std::string& all) {
    std::vector<std::string> entries;
    if (all.empty()) return entries;
    const char separator = all.find('\n') != std::string::npos ? '\n' : ',';
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(separator, start);
        if (end == std::string::npos) end = all.size();
        entries.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

void LoadFromEnvironment(Script& script) {
    if (script.loaded) return;
    script.loaded = true;
    if (const char* text = getenv("ORVANE_ANSWERS")) {
        script.scripted = true;
        for (std::string& entry : SplitEntries(text)) script.entries.push_back(std::move(entry));
    }
}

// The next scripted entry; nothing when unscripted or used up.
std::optional<std::string> NextEntry(bool& scripted) {
    Script& script = TheScript();
    std::lock_guard<std::mutex> lock(script.mutex);
    LoadFromEnvironment(script);
    scripted = script.scripted;
    if (script.entries.empty()) return std::nullopt;
    std::string entry = script.entries.front();
    script.entries.pop_front();
    return entry;
}

// A whole non-negative decimal number that fits 32 bits.
std::optional<unsigned> ParseNumber(const std::string& word) {
    if (word.empty() || word[0] == '-' || word[0] == '+') return std::nullopt;
    char* stop = nullptr;
    const unsigned long value = std::strtoul(word.c_str(), &stop, 10);
    if (!stop || *stop != '\0' || value > 0xFFFFFFFFul) return std::nullopt;
    return static_cast<unsigned>(value);
}

}  // namespace

std::vector<unsigned> ParseAnswerList(const char* text) {
    std::vector<unsigned> answers;
    if (!text || !*text) return answers;
    for (const std::string& word : SplitEntries(text)) answers.push_back(ParseNumber(word).value_or(0u));
    return answers;
}

int AnswerMessageBox(const std::string& text, int buttonCount, int defaultButton) {
    int answer = defaultButton;
    if (buttonCount > 1) {
        bool scripted = false;
        if (std::optional<std::string> entry = NextEntry(scripted)) {
            const std::optional<unsigned> chosen = ParseNumber(*entry);
            if (chosen && *chosen < static_cast<unsigned>(buttonCount)) answer = static_cast<int>(*chosen);
        }
    }
    fprintf(stderr, "Message: %s [answer %d]\n", text.c_str(), answer);
    return answer;
}

unsigned NextAnswer() {
    bool scripted = false;
    const std::optional<std::string> entry = NextEntry(scripted);
    return entry ? ParseNumber(*entry).value_or(0u) : 0u;
}

std::optional<std::string> ChooseFolder(const std::string& title, const std::string& startFolder) {
    fprintf(stderr, "Choose folder: %s (from %s)\n", title.c_str(), startFolder.c_str());
    bool scripted = false;
    std::optional<std::string> entry = NextEntry(scripted);
    if (!scripted && isatty(STDIN_FILENO)) {
        fprintf(stderr, "Folder (empty to cancel): ");
        std::string line;
        if (std::getline(std::cin, line)) entry = line;
    }
    if (!entry || entry->empty() || *entry == "cancel") {
        fprintf(stderr, "Choose folder: cancelled\n");
        return std::nullopt;
    }
    fprintf(stderr, "Choose folder: %s\n", entry->c_str());
    return entry;
}

void OpenURL(const std::string& url) {
    fprintf(stderr, "Open: %s\n", url.c_str());
}

void SetScriptedAnswers(const std::vector<unsigned>& answers) {
    Script& script = TheScript();
    std::lock_guard<std::mutex> lock(script.mutex);
    script.loaded = true;
    script.scripted = true;
    script.entries.clear();
    for (unsigned answer : answers) script.entries.push_back(std::to_string(answer));
}

}  // namespace Quor::Platform
