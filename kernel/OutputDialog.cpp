#include "kernel/OutputDialog.h"

#include <pthread.h>

#include <cstdio>

namespace Quor::Orvane::OutputDialog {

void MyOutput::Write(Quor::Log::TYPE type, const char* function, const char* text) {
    char line[4096];
    std::snprintf(line, sizeof line, "(0x%08lx) (%s)  %s: %s", static_cast<unsigned long>(pthread_self()),
                  Quor::Log::ToString(type), function ? function : "", text ? text : "");
    ++m_Lines;
}

MyOutput& GetOutput() {
    static MyOutput output;
    return output;
}

}  // namespace Quor::Orvane::OutputDialog
