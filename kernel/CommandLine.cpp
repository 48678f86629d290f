#include "kernel/CommandLine.h"

#include <strings.h>

#include "common/Log.h"

namespace Quor::Orvane {

namespace {
constexpr const char* kTag =
    "HRESULT Quor::Orvane::<anonymous namespace>::ParseCommandLine(const std::string &, "
    "std::vector<std::string> &, DWORD &, bool)";
}

HRESULT ParseCommandLine(const std::string& line, std::vector<std::string>& args, DWORD& options,
                         bool stripQuotes) {
    args.clear();
    options = 0;
    bool inQuotes = false;
    size_t position = 0;
    while (true) {
        const size_t start = line.find_first_not_of(' ', position);
        if (start == std::string::npos) return S_OK;
        size_t end = line.find(' ', start);
        if (end == std::string::npos) end = line.size();
        const size_t previousEnd = position;
        position = end;
        std::string word = line.substr(start, end - start);

        if (word[0] == '-' && !inQuotes) {
            if (strcasecmp(word.c_str(), "-noupdate") == 0) {
                options |= OPTION_NOUPDATE;
            } else if (strcasecmp(word.c_str(), "-tsr") == 0) {
                options |= OPTION_TSR;
            } else if (strcasecmp(word.c_str(), "-debug") == 0) {
                options |= OPTION_DEBUG;
            } else {
                QUOR_LOG_TAG(Log::ERROR, kTag, "Unrecognized option: \"%s\"", word.c_str());
                return E_QUOR_FAILED_TO_PARSE_COMMANDLINE;
            }
            continue;
        }
        if (word[0] == '"') {
            const bool closes = word.size() >= 2 && word.back() == '"';
            inQuotes = !closes;
            if (stripQuotes) {
                word.erase(0, 1);
                if (closes) word.pop_back();
            }
            args.push_back(word);
            continue;
        }
        if (inQuotes && !args.empty()) {
            if (word.back() == '"') {
                inQuotes = false;
                if (stripQuotes) word.pop_back();
            }
            args.back().append(start - previousEnd, ' ');
            args.back() += word;
            continue;
        }
        args.push_back(word);
    }
}

}  // namespace Quor::Orvane
