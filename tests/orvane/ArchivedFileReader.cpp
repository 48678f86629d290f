// quor-archived-file-reader: a program of an installed release that reads its files through
// libMondrel.so alone, in its own process (run it in the release's deploy folder, with no kernel
// running). Arguments: the file to hold open, a file to wait for, then files to read whole.
//   1. opens the first file and reads its first half, then prints "held <result> <bytes read>";
//   2. waits (up to two minutes) until the second argument names an existing file;
//   3. reads the rest of the held file and prints "rest <result> <the whole file's bytes>";
//   4. for each further argument opens and reads the file whole: "read <result> <bytes>".
// Results are 0 or the failing HRESULT in hexadecimal; one line each, flushed. Exit status 0, 2
// for wrong arguments, 3 when the wait ran out.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "api/IFile.h"
#include "foundation/api/IMain.h"

namespace {

void Print(const char* step, HRESULT hr, const std::string& text) {
    std::printf("%s %x %s\n", step, static_cast<unsigned>(hr), text.c_str());
    std::fflush(stdout);
}

HRESULT ReadSome(Quor::API::IFile& file, size_t count, std::string& into) {
    std::string buffer(count, '\0');
    size_t read = 0;
    const HRESULT hr = count ? file.Read(buffer.data(), 1, count, read) : S_OK;
    into.append(buffer, 0, read);
    return hr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    std::shared_ptr<Quor::API::IMain> main;
    HRESULT hr = Quor::API::CreateMain(main);
    if (FAILED(hr)) {
        Print("held", hr, "");
        return 0;
    }
    std::string held;
    {
        std::shared_ptr<Quor::API::IFile> file;
        hr = main->OpenFile(argv[1], Quor::API::FILE_TYPE_BINARY, file);
        if (SUCCEEDED(hr)) hr = ReadSome(*file, file->GetSize() / 2, held);
        Print("held", hr, std::to_string(held.size()));
        if (FAILED(hr)) return 0;
        int tenths = 0;
        while (::access(argv[2], F_OK) != 0) {
            if (++tenths > 1200) return 3;
            ::usleep(100000);
        }
        hr = ReadSome(*file, file->GetSize() - held.size(), held);
        Print("rest", hr, held);
    }
    for (int i = 3; i < argc; ++i) {
        std::shared_ptr<Quor::API::IFile> file;
        std::string bytes;
        hr = main->OpenFile(argv[i], Quor::API::FILE_TYPE_BINARY, file);
        if (SUCCEEDED(hr)) hr = ReadSome(*file, file->GetSize(), bytes);
        Print("read", hr, bytes);
    }
    return 0;
}
