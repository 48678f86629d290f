#include "common/Log.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <shared_mutex>
#include <string>

#include "common/LogFile.h"
#include "common/LogLine.h"
#include "foundation/AnnotatedMutex.h"
#include "foundation/CStd/CStd.h"

namespace Quor::Log {

namespace _Internal {

const char* const TYPE_TO_STRING[5] = {"   USER", "  ERROR", "WARNING", "  DEBUG", "VERBOSE"};

namespace {

std::atomic<int32_t> g_CurrentLevel{ERROR};
std::atomic<IWrite*> g_pWrite{nullptr};
// Held shared while a line goes to the installed writer, exclusively while the writer changes:
// once SetIWrite returns, the previous writer is called no more and may be destroyed.
std::shared_mutex g_WriteHookMutex;
std::atomic<bool> g_ShouldLogToConsole{false};
std::atomic<uint64_t> g_FileSizeLimit{kDefaultLogFileSizeLimit};

// The statement being logged through the two-call form, per thread.
thread_local TYPE t_Type = USER;
thread_local const char* t_pFunctionName = nullptr;

// The open log file and the locks around it. They are never destroyed, so that a static object
// that logs from its destructor at exit still finds them; the file itself is closed at exit by
// LogFileCloser below.
struct FileState {
    Vorn::AnnotatedMutex mutex;        // every write and the replacement of the file
    Vorn::AnnotatedMutex setterMutex;  // one SetLogFile at a time
    std::shared_ptr<LogFile> file GUARDED_BY(mutex);
};

FileState& State() {
    static FileState* state = new FileState;
    return *state;
}

// Closes the log file when the program ends (the secondary file goes back to the main name).
struct LogFileCloser {
    ~LogFileCloser() {
        FileState& state = State();
        std::shared_ptr<LogFile> closing;
        {
            Vorn::AnnotatedLockGuard lock(state.mutex);
            closing.swap(state.file);
        }
    }
} g_LogFileCloser;

// Keeps the caller's errno across the log's own work.
class ErrnoKeeper {
public:
    ErrnoKeeper() : m_saved(errno) {}
    ~ErrnoKeeper() { errno = m_saved; }

private:
    int m_saved;
};

void WriteTo(FILE* stream, const char* line, size_t length) {
    std::fwrite(line, 1, length, stream);
}

// Replaces a file that reached the size limit by a fresh one of the same name (the full one moves
// to the first copy), unless another thread replaced it first. Outside the writers' lock, as
// SetLogFile: lines written meanwhile end the rotated copy.
void RotateFullFile(const std::shared_ptr<LogFile>& full) {
    FileState& state = State();
    Vorn::AnnotatedLockGuard setter(state.setterMutex);
    {
        Vorn::AnnotatedLockGuard lock(state.mutex);
        if (state.file != full) return;
    }
    const DWORD copies = full->Count() < 1 ? 1u : full->Count();
    auto opened = std::make_shared<LogFile>(full->Name().c_str(), copies);
    std::shared_ptr<LogFile> previous;
    {
        Vorn::AnnotatedLockGuard lock(state.mutex);
        previous = state.file;
        state.file = opened;
    }
    previous.reset();
}

}  // namespace

void DefaultWrite(TYPE type, const char* function, const char* text) {
    char line[LINE_BUFFER_SIZE];
    size_t length = FormatLine(line, sizeof line, type, function, text);

    FileState& state = State();
    bool fileOpen = false;
    // A line that would take the file past the size limit goes to a fresh file: the full one is
    // rotated first (outside the lock), then the line is written, so the newest line always
    // stands in the file itself.
    for (bool mayRotate = true;; mayRotate = false) {
        std::shared_ptr<LogFile> full;
        {
            Vorn::AnnotatedLockGuard lock(state.mutex);
            if (state.file && state.file->Stream()) {
                const uint64_t limit = g_FileSizeLimit.load(std::memory_order_relaxed);
                if (mayRotate && limit != 0 && !state.file->IsSecondary() && state.file->Written() != 0 &&
                    state.file->Written() + length > limit) {
                    full = state.file;
                } else {
                    fileOpen = true;
                    if (std::fwrite(line, 1, length, state.file->Stream()) != length)
                        Vorn::dbg_output("Unable to log: fprintf failed\n");
                    if (std::fflush(state.file->Stream()) != 0) Vorn::dbg_output("Unable to log: fflush failed\n");
                    state.file->AddWritten(length);
                }
            }
        }
        if (!full) break;
        ErrnoKeeper keepErrno;
        RotateFullFile(full);
    }
    if (!fileOpen || g_ShouldLogToConsole.load(std::memory_order_relaxed)) WriteTo(stdout, line, length);
}

}  // namespace _Internal

using namespace _Internal;

const char* ToString(TYPE type) {
    if (type < USER || type > VERBOSE) return "UNKNOWN";
    return TYPE_TO_STRING[type];
}

HRESULT SetLogFile(const char* name) {
    return SetLogFile(name, 0);
}

HRESULT SetLogFile(const char* name, int count) {
    ErrnoKeeper keepErrno;
    const char* effectiveName = name ? name : "quor.log";
    FileState& state = State();
    Vorn::AnnotatedLockGuard setter(state.setterMutex);
    {
        Vorn::AnnotatedLockGuard lock(state.mutex);
        if (state.file && state.file->Name() == effectiveName) return S_OK;
    }
    // Open the new file (with its rotation) outside the writers' lock, install it, and only then
    // close the previous one, also outside the lock.
    auto opened = std::make_shared<LogFile>(effectiveName, count < 0 ? 0u : static_cast<DWORD>(count));
    std::shared_ptr<LogFile> previous;
    {
        Vorn::AnnotatedLockGuard lock(state.mutex);
        previous = state.file;
        state.file = opened;
    }
    previous.reset();
    return S_OK;
}

void SetIWrite(IWrite* writer) {
    std::unique_lock<std::shared_mutex> lock(g_WriteHookMutex);
    g_pWrite.store(writer);
}

void SetLogFileSizeLimit(uint64_t bytes) {
    g_FileSizeLimit.store(bytes, std::memory_order_relaxed);
}

void SetLogLevel(TYPE level) {
    g_CurrentLevel.store(level, std::memory_order_relaxed);
}

void SetLogToConsole(bool on) {
    g_ShouldLogToConsole.store(on, std::memory_order_relaxed);
}

int ErrorWrite(TYPE type, const char* function, const char* text) {
    ErrnoKeeper keepErrno;
    char line[LINE_BUFFER_SIZE];
    size_t length = FormatLine(line, sizeof line, type, function, text);
    return std::fwrite(line, 1, length, stderr) == length ? static_cast<int>(length) : -1;
}

namespace Internal {

bool IsEnabled(TYPE type) {
    return type <= g_CurrentLevel.load(std::memory_order_relaxed);
}

void PrintTagged(TYPE type, const char* function, const char* text) {
    if (!IsEnabled(type)) return;
    ErrnoKeeper keepErrno;
    if (!text) text = "(null)";
    if (type == ERROR) ErrorWrite(type, function, text);
    if (g_pWrite.load()) {
        std::shared_lock<std::shared_mutex> lock(g_WriteHookMutex);
        if (IWrite* writer = g_pWrite.load()) writer->Write(type, function, text);
    }
    DefaultWrite(type, function, text);
}

namespace {

// Formats one statement (an empty text when formatting fails) and writes it.
void PrintVTagged(TYPE type, const char* function, const char* format, va_list args) {
    ErrnoKeeper keepErrno;
    char text[LINE_BUFFER_SIZE];
    int n = format ? Vorn::std_vsprintf(text, sizeof text, format, args) : -1;
    if (n < 0) text[0] = '\0';
    PrintTagged(type, function, text);
}

}  // namespace

void PrintFTagged(TYPE type, const char* function, const char* format, ...) {
    if (!IsEnabled(type)) return;
    va_list args;
    va_start(args, format);
    PrintVTagged(type, function, format, args);
    va_end(args);
}

void SetupPrintF(TYPE type, const char* function) {
    t_Type = type;
    t_pFunctionName = function;
}

void PrintF(const char* format, ...) {
    const TYPE type = t_Type;
    if (!IsEnabled(type)) return;
    va_list args;
    va_start(args, format);
    PrintVTagged(type, t_pFunctionName, format, args);
    va_end(args);
}

void Print(const char* text) {
    PrintTagged(t_Type, t_pFunctionName, text);
}

}  // namespace Internal

}  // namespace Quor::Log
