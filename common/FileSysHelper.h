#pragma once
// File-system helpers of the common library: path text (split, normalise, replace, make
// absolute), folder trees, and whole-file work (size, append, cut a piece, write a buffer, read
// into buffers, age).
//
// Every operation is static and thread-safe; appends share one 10 MiB copy buffer under a lock.
// Failures are logged (the system's error text, then the operation's own ERROR line under its
// signature) and returned as HRESULT; a failure is never reported as success, also when the
// system left errno at 0. Open files are closed on every path; the read functions change their
// output only on success.
#include <memory>
#include <string>

#include "common/Time.h"
#include "foundation/Types.h"
#include "foundation/api/IBuffer.h"

namespace Quor::Common {

class FileSysHelper {
public:
    // Replaces every match of find in text by with, matching without regard to case and taking
    // "\" and "/" as equal; replaced text is not searched again. An empty find changes nothing.
    static void Replace(std::string& text, const std::string& find, const std::string& with);
    // path with "\" turned into "/" and ending in "/" ("" gives "/").
    static std::string NormalizeDirectoryPath(const std::string& path);
    // folder: path up to and including its last "\", "/" or ":" (with "/" added after ":");
    // extension: after the last "." of the file part; name: between them. Parts are put in front
    // of what the outputs hold (callers pass them empty). A dot in a folder name is not taken
    // for the extension's: "a.b/c" gives the name "c" and no extension.
    static void ParseFileSpecification(const std::string& path, std::string& folder, std::string& name,
                                       std::string& extension);
    // relative made absolute against the folder of base ("./" and "../" at its start applied; a
    // path with a drive colon is taken as absolute). A name without extension gets no dot.
    static void RelativeToAbsolutePath(const std::string& relative, const std::string& base, std::string& out);
    // "\" turned into "/", then the folder and every missing parent created. S_OK or E_FAIL;
    // nothing is logged.
    static HRESULT CreateDirectoryAndIntermediatePaths(const char* path);
    // The size of a file below 4 GiB (a larger file is a failure, not a wrapped size).
    static HRESULT GetFileSize(const std::string& path, UINT& size);
    // Appends the whole of source to destination.
    static HRESULT AppendBinaryFile(const std::string& source, const std::string& destination);
    // Writes the length bytes at offset of source into a new destination file; fails with
    // "Failure while reading" when the source holds fewer.
    static HRESULT ExtractPieceOfBinaryFile(const std::string& source, UINT offset, UINT length,
                                            const std::string& destination);
    // Time since the file was last written, in 100-ns ticks (0 for a time in the future).
    static HRESULT FileAge(const std::string& path, Time::TIME& age);
    static HRESULT WriteBufferToFile(const API::IBuffer& buffer, const char* path);
    // length bytes at offset of the file into a new buffer; fails (allocating nothing) when the
    // file holds fewer.
    static HRESULT ReadFileBlockIntoBuffer(const std::string& path, DWORD offset, DWORD length,
                                           std::shared_ptr<API::IBuffer>& out);
    static HRESULT ReadFileIntoBuffer(const std::string& path, std::shared_ptr<API::IBuffer>& out);

    // Size of the copy buffers: 10 MiB.
    static constexpr size_t kCopyBufferSize = 0xA00000;
};

}  // namespace Quor::Common
