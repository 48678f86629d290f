#include "platform/AnswerPolicy.h"

#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>

namespace Quor::Platform {

namespace {

struct Answers {
    std::mutex mutex;
    bool loaded = false;
    std::deque<unsigned> queue;
};

Answers& State() {
    static Answers answers;
    return answers;
}

void LoadFromEnvironment(Answers& answers) {
    if (answers.loaded) return;
    answers.loaded = true;
    for (unsigned answer : ParseAnswerList(std::getenv("ORVANE_ANSWERS"))) answers.queue.push_back(answer);
}

}  // namespace

std::vector<unsigned> ParseAnswerList(const char* text) {
    std::vector<unsigned> answers;
    if (!text || !*text) return answers;
    std::string list = text;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        const std::string word = list.substr(start, end - start);
        char* stop = nullptr;
        const unsigned long value = std::strtoul(word.c_str(), &stop, 10);
        const bool number = !word.empty() && stop && *stop == '\0' && word[0] != '-' && value <= 0xFFFFFFFFul;
        answers.push_back(number ? static_cast<unsigned>(value) : 0u);
        start = end + 1;
    }
    return answers;
}

unsigned NextAnswer() {
    Answers& answers = State();
    std::lock_guard<std::mutex> lock(answers.mutex);
    LoadFromEnvironment(answers);
    if (answers.queue.empty()) return 0;
    const unsigned answer = answers.queue.front();
    answers.queue.pop_front();
    return answer;
}

void SetScriptedAnswers(const std::vector<unsigned>& list) {
    Answers& answers = State();
    std::lock_guard<std::mutex> lock(answers.mutex);
    answers.loaded = true;
    answers.queue.assign(list.begin(), list.end());
}

}  // namespace Quor::Platform
