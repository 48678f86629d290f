#pragma once
// Quor::Log: the one process-wide log of every program of the system.
//
// A line is written when its level is at most the current level (default ERROR). It goes to the
// log file (when one is set; numbered rotated copies, ".secondary" fallback), to the standard
// output (when the console switch is on or no file is open), ERROR lines also at once to the
// standard error, and to the installed IWrite (unformatted, before the file). Line format:
//     "(  ERROR)[13:05:09.000] HRESULT Foo::Bar(int): the text\n"
// The log works from process start without set-up.
//
// Writing a log statement (use these from every layer above common):
//
//     QUOR_LOG(Quor::Log::ERROR, "Failed to open \"%s\".", path.c_str());
//
// tags the line with the calling function's signature (__PRETTY_FUNCTION__). Where a fixed tag
// text is wanted (for example a signature spelled as the system's log files have always shown it):
//
//     QUOR_LOG_TAG(Quor::Log::DEBUG, "static HRESULT Quor::Common::LocalFileSystem::DeleteFile("
//                  "const std::string &)", "(\"%s\")", path.c_str());
//
// Both take a printf format (checked by the compiler) and its arguments. A statement whose level
// is above the current level costs one atomic load: neither the arguments are evaluated nor is
// anything formatted. Level and tag travel with the statement itself, so statements of several
// threads (and a statement whose arguments log themselves) never take each other's level or tag.
//
// The older two-call form SetupPrintF(level, tag) + PrintF(format, ...) / Print(text) is kept; its
// level and tag are held per thread.
//
// Threads: every function may be called from any thread. Each line reaches the file as one write
// followed by a flush, under the log's own lock, so lines never interleave, and SetLogFile may
// replace the file while other threads write. The log never calls out (writer, error texts,
// file-system checks) while holding its lock. The writer installed with SetIWrite is not owned
// and may be called from several threads at once; once SetIWrite returns, the previous writer is
// called no more and may be destroyed (a writer must not change the writer from inside Write).
// Errors: logging never fails its caller and leaves the caller's errno unchanged.
#include <cstdint>
#include <cstdio>

#include "foundation/Types.h"

namespace Quor::Log {

// Level of a line; a smaller value is more important.
enum TYPE : int32_t { USER = 0, ERROR = 1, WARNING = 2, DEBUG = 3, VERBOSE = 4 };

// A writer that receives every line that passes the level test. Not owned by the log.
class IWrite {
public:
    virtual void Write(TYPE type, const char* function, const char* text) = 0;

protected:
    ~IWrite() = default;
};

// The seven-character level text; "UNKNOWN" for a level outside 0..4.
const char* ToString(TYPE type);

// Opens a log file (name null: "quor.log" in the working folder) keeping `count` rotated copies
// name1 (newest) .. name<count>. The same name again changes nothing. Always S_OK.
HRESULT SetLogFile(const char* name);
HRESULT SetLogFile(const char* name, int count);
// While it is written, a log file that the next line would take past this size is rotated as at
// opening (into the copies SetLogFile gave it, at least one) and continues empty with that line;
// 0: never. Default kDefaultLogFileSizeLimit.
constexpr uint64_t kDefaultLogFileSizeLimit = 16u << 20;
void SetLogFileSizeLimit(uint64_t bytes);
void SetIWrite(IWrite* writer);  // null removes the writer
void SetLogLevel(TYPE level);
void SetLogToConsole(bool on);

// Writes one formatted line to the standard error, without a level test; the bytes written or -1.
int ErrorWrite(TYPE type, const char* function, const char* text);

namespace Internal {

// True when a line of this level is written at the current level.
bool IsEnabled(TYPE type);

// One statement with its own level and tag (what the macros use).
void PrintTagged(TYPE type, const char* function, const char* text);
void PrintFTagged(TYPE type, const char* function, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// The two-call form: SetupPrintF stores level and tag for this thread's next PrintF/Print.
void SetupPrintF(TYPE type, const char* function);
void PrintF(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Print(const char* text);

// Error logging; each logs under `function` and returns a result as documented.
HRESULT LogERRNO(const char* function);                 // errno's text; E_FAIL when errno (read after) is set
HRESULT LogDOSERRNO(const char* function);              // the same, result from the first reading
HRESULT LogFError(const char* function, FILE* stream);  // E_FAIL when the stream's error flag is set
HRESULT LogGetLastError(const char* function);          // E_FAIL (errno set) or S_OK, with the error text
HRESULT WSAGetLastError(const char* function);          // last socket error: S_OK when none, else failure

}  // namespace Internal

namespace _Internal {
extern const char* const TYPE_TO_STRING[5];
// Formats the line and writes it to the file and, when due, to the standard output.
void DefaultWrite(TYPE type, const char* function, const char* text);
}  // namespace _Internal

}  // namespace Quor::Log

#define QUOR_LOG_TAG(level, tag, ...)                                               \
    do {                                                                            \
        const ::Quor::Log::TYPE quorLogLevel_ = (level);                            \
        if (::Quor::Log::Internal::IsEnabled(quorLogLevel_))                        \
            ::Quor::Log::Internal::PrintFTagged(quorLogLevel_, (tag), __VA_ARGS__); \
    } while (0)

#define QUOR_LOG(level, ...) QUOR_LOG_TAG(level, __PRETTY_FUNCTION__, __VA_ARGS__)
