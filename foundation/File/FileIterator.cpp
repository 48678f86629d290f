#include "foundation/File/FileIterator.h"

#include <atomic>

namespace Vorn::File {

namespace {
std::atomic<FileIteratorFactory> g_quorFactory{nullptr};
std::atomic<FileIteratorFactory> g_zipFactory{nullptr};
}  // namespace

void SetQuorFileIteratorFactory(FileIteratorFactory factory) {
    g_quorFactory.store(factory);
}
void SetZipFileIteratorFactory(FileIteratorFactory factory) {
    g_zipFactory.store(factory);
}

FileIteratorPtr CreateQuorFileIterator(const char* pattern, unsigned flags) {
    FileIteratorFactory factory = g_quorFactory.load();
    return factory ? factory(pattern, flags) : FileIteratorPtr();
}

FileIteratorPtr CreateZipFileIterator(const char* pattern, unsigned flags) {
    FileIteratorFactory factory = g_zipFactory.load();
    return factory ? factory(pattern, flags) : FileIteratorPtr();
}

FileIteratorPtr CreateFileIterator(const char* pattern, unsigned flags) {
    if (!(flags & FILE_ITERATOR_NO_CLIENT_API)) {
        if (FileIteratorPtr quor = CreateQuorFileIterator(pattern, flags)) return quor;
    }
    if (FileIteratorPtr zip = CreateZipFileIterator(pattern, flags)) return zip;
    return CreatePlatformFileIterator(pattern, flags);
}

}  // namespace Vorn::File
