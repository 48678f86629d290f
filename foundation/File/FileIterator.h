#pragma once
// One way to list the entries that match a wildcard pattern, whatever holds them.
//
// CreateFileIterator(pattern, flags) asks, in this order, the client API's files (unless flag
// FILE_ITERATOR_NO_CLIENT_API is set), then the zip archives, then the disk (glob), and hands back
// the first iterator it gets. The first two are seams: each is a factory registered by the layer
// that provides it (the client library registers the client-API iterator; the zip file provider
// registers the zip iterator). Until then they give no iterator and the disk is listed.
//
// Use: while HasFile() read GetCurrentFileName() (valid until the next Advance()) and
// IsCurrentFileDirectory(), then Advance(). An empty pointer means there is no iterator; a
// pattern that matches nothing gives an iterator without files.
// An iterator owns its entries and is used by one thread; the factories may be called from any
// thread, and registering a factory is thread-safe.
#include <memory>

namespace Vorn::File {

class FileIterator {
public:
    virtual bool HasFile() const = 0;
    virtual void Advance() = 0;
    // Steps over the "." and ".." entries of iterators that list them first (a no-op elsewhere).
    virtual void SkipDotDirectories() = 0;
    virtual const char* GetCurrentFileName() const = 0;  // file name and extension, no folder
    virtual bool IsCurrentFileDirectory() const = 0;
    virtual ~FileIterator() = default;
};

using FileIteratorPtr = std::shared_ptr<FileIterator>;

// Iterator flags.
constexpr unsigned FILE_ITERATOR_FOLDERS_ONLY = 1;   // list folders only
constexpr unsigned FILE_ITERATOR_NO_CLIENT_API = 2;  // do not consult the client API's files

FileIteratorPtr CreateFileIterator(const char* pattern, unsigned flags);

// The three sources; the first two give an empty pointer while no factory is registered.
FileIteratorPtr CreateQuorFileIterator(const char* pattern, unsigned flags);
FileIteratorPtr CreateZipFileIterator(const char* pattern, unsigned flags);
FileIteratorPtr CreatePlatformFileIterator(const char* pattern, unsigned flags);

// Registration of the seams (null unregisters). A factory returns an empty pointer when it has
// nothing to list (no client-API main object, no zip archive), so that the next source is asked.
using FileIteratorFactory = FileIteratorPtr (*)(const char* pattern, unsigned flags);
void SetQuorFileIteratorFactory(FileIteratorFactory factory);
void SetZipFileIteratorFactory(FileIteratorFactory factory);

}  // namespace Vorn::File
