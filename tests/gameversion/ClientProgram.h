#pragma once
// Test helper: one run of the game-version C client program (quor-gameversion-client) in a folder
// of the test's choosing, with this process's environment, each argument one step. Answers the
// lines the steps printed (the library's log lines left out) and what reached standard error.
// Output goes to files below `scratch`, a folder that must exist. Thread-compatible.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/kit/RunCommand.h"

namespace QuorTest {

struct ClientRun {
    int status = -1;
    std::vector<std::string> lines;
    std::string errors;
};

inline ClientRun RunGameVersionClient(const std::string& folder, const std::string& scratch,
                                      const std::vector<std::string>& steps) {
    std::string command = "cd " + ShellQuote(folder) + " && " + ShellQuote(QUOR_GAMEVERSION_CLIENT);
    for (const auto& step : steps) command += " " + ShellQuote(step);
    const std::string output = scratch + "/client.out", errors = scratch + "/client.err";
    command += " >" + ShellQuote(output) + " 2>" + ShellQuote(errors);
    ClientRun run;
    run.status = RunCommand(command);
    std::ifstream in(output);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("(", 0) != 0) run.lines.push_back(line);  // log lines start with "("
    std::stringstream text;
    text << std::ifstream(errors).rdbuf();
    run.errors = text.str();
    return run;
}

}  // namespace QuorTest
