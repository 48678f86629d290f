// Test program: lists one wildcard pattern through the file iterator of libMondrel.so, from the
// folder it is started in, as a program outside this build does (it links nothing else and
// creates no main object itself). Prints one line per entry, "entry d NAME" for a folder and
// "entry f NAME" otherwise, in the iterator's order.
//
//   quor-list-through-mondrel PATTERN
//
// Exit 0 when an iterator came back, 1 when there was none, 2 on a wrong command line.
#include <cstdio>

#include "foundation/File/FileIterator.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PATTERN\n", argv[0]);
        return 2;
    }
    const Vorn::File::FileIteratorPtr iterator = Vorn::File::CreateFileIterator(argv[1], 0);
    if (!iterator) return 1;
    for (; iterator->HasFile(); iterator->Advance())
        std::printf("entry %c %s\n", iterator->IsCurrentFileDirectory() ? 'd' : 'f', iterator->GetCurrentFileName());
    return 0;
}
