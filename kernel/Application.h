#pragma once
// Quor::Orvane::Application: the kernel program's application object. This part holds the usage
// text and the hand-over of a command to the command runner thread.
//
// DoUserCommand blocks its caller until the command has ended; only a runner thread that cannot be
// started or waited for makes it fail; the command's own failure is only logged.
#include <string>
#include <vector>

#include "foundation/Types.h"

namespace Quor::Orvane {

class Application {
public:
    static void PrintUsageMessage();
    static HRESULT DoUserCommand(const std::vector<std::string>& args, const DWORD options);
};

}  // namespace Quor::Orvane
