#include "foundation/AssertionReport.h"

#include <utility>

namespace Vorn {

void AssertionFailed(const char* expression, const char* description, const char* file, int line,
                     const char* function) {
    std::string text;
    FormatAssertionMessage(text, expression, file, line, function, description);
    CallAssertionHandler(std::move(text));
}

void FormatAssertionMessage(std::string& out, const char* expression, const char* file, int line,
                            const char* function, const char* description) {
    auto text = [](const char* s) { return s ? s : ""; };
    out = "Assertion failed!";
    out += "\n\n";
    out += "File: ";
    out += text(file);
    out += "\n";
    out += "Line: ";
    out += std::to_string(line);
    out += "\n\n";
    out += "Function: ";
    out += text(function);
    out += "\n\n";
    out += "Expression: ";
    out += text(expression);
    if (description && *description) {
        out += "\n\n";
        out += "Description: ";
        out += description;
    }
}

AssertionHandler& GetAssertionHandler() {
    static AssertionHandler handler;
    return handler;
}

void SetAssertionHandler(const AssertionHandler& handler) { GetAssertionHandler() = handler; }

void CallAssertionHandler(std::string text) {
    AssertionHandler& handler = GetAssertionHandler();
    if (handler) handler(std::move(text));
}

}  // namespace Vorn
