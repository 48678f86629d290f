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
    bool scripted = false;
    std::deque<std::string> entries;
};

Script& TheScript() {
    static Script* script = [] {
        auto* made = new Script;
        if (const char* text = getenv("ORVANE_ANSWERS")) {
            made->scripted = true;
            std::string all = text;
            size_t start = 0;
            while (start <= all.size() && !all.empty()) {
                size_t end = all.find('\n', start);
                if (end == std::string::npos) end = all.size();
                made->entries.push_back(all.substr(start, end - start));
                start = end + 1;
            }
        }
        return made;
    }();
    return *script;
}

// The next scripted entry; nothing when unscripted or used up.
std::optional<std::string> NextEntry(bool& scripted) {
    Script& script = TheScript();
    std::lock_guard<std::mutex> lock(script.mutex);
    scripted = script.scripted;
    if (script.entries.empty()) return std::nullopt;
    std::string entry = script.entries.front();
    script.entries.pop_front();
    return entry;
}

}  // namespace

int AnswerMessageBox(const std::string& text, int buttonCount, int defaultButton) {
    int answer = defaultButton;
    if (buttonCount > 1) {
        bool scripted = false;
        std::optional<std::string> entry = NextEntry(scripted);
        if (entry) {
            char* end = nullptr;
            long chosen = strtol(entry->c_str(), &end, 10);
            if (end != entry->c_str() && *end == '\0' && chosen >= 0 && chosen < buttonCount)
                answer = static_cast<int>(chosen);
        }
    }
    fprintf(stderr, "Message: %s [answer %d]\n", text.c_str(), answer);
    return answer;
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

}  // namespace Quor::Platform
