#pragma once
// One walk over the process table for the helpers that find processes by executable: calls the
// visitor with each process's id and executable path, skipping processes whose path cannot be
// read. Returns 0, or the errno value when the table cannot be read (no visit then).
// Thread-safe; reads the table afresh.
#include <functional>
#include <string>

#include "remote/process/ProcessTypes.h"

namespace Vorn {

int WalkProcessTable(const std::function<void(ProcessId pid, const std::string& path)>& visit);

// File name of path without folder and extension ("/a/b/name.ext" gives "name"), and with the
// extension ("name.ext"); empty when the path cannot be split.
std::string ExecutableName(const std::string& path);
std::string ExecutableFileName(const std::string& path);

}  // namespace Vorn
