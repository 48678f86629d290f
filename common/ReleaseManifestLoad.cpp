// ReleaseManifest::Load and Parse: a file is read whole, once, then parsed from memory: its tables
// first (ReleaseManifestTables.cpp), then the walk of its directories (ReleaseManifestWalk.cpp),
// then the sort.
#include <sys/stat.h>

#include <algorithm>

#include "common/LastError.h"
#include "common/Log.h"
#include "common/ManifestFile.h"
#include "common/RegularFile.h"
#include "common/ReleaseManifest.h"
#include "common/ReleaseManifestImage.h"
#include "common/UniqueFile.h"
#include "foundation/CStd/CStdFiles.h"

namespace Quor::Common {

namespace {

const char* const LOAD_TAG = RELEASE_MANIFEST_LOAD_TAG;
const char* const PARSE_TAG = "HRESULT Quor::Common::ReleaseManifest::Parse(const uint8_t *, size_t, const BOOL *const)";

// Reads the rest of the stream. What could be read stays in `out` also after a read error; the
// stream's error indicator tells the caller about it.
void ReadWholeStream(FILE* stream, std::vector<uint8_t>& out) {
    size_t chunk = 64 * 1024;
    struct stat st;
    if (fstat(fileno(stream), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        chunk = static_cast<size_t>(st.st_size) + 1;  // one read, and one more that finds the end
    while (true) {
        const size_t old = out.size();
        out.resize(old + chunk);
        const size_t got = fread(out.data() + old, 1, chunk, stream);
        out.resize(old + got);
        if (got < chunk) return;
        chunk = std::max<size_t>(chunk, 64 * 1024);
    }
}

// Tables, walk and sort of bytes read from stream (null for bytes from memory).
HRESULT ParseImage(ReleaseManifest& manifest, const uint8_t* bytes, size_t size, FILE* stream,
                   const signed char* cancel) {
    manifest.m_Entries.clear();
    ReleaseManifestTables tables;
    HRESULT hr = ParseReleaseManifestTables(bytes, size, stream, tables);
    if (SUCCEEDED(hr)) hr = WalkReleaseManifestDirectories(tables, cancel, manifest);
    if (FAILED(hr)) return hr;
    hr = manifest.SortEntries(cancel);
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Failure while sorting the newly loaded Manifest");
        return hr;
    }
    QUOR_LOG_TAG(Log::DEBUG, LOAD_TAG, "Succeeded");
    return S_OK;
}

}  // namespace

HRESULT ReleaseManifest::Load(const std::string& path, const signed char* cancel) {
    QUOR_LOG_TAG(Log::DEBUG, LOAD_TAG, "(\"%s\")", path.c_str());
    m_Entries.clear();

    // A regular file within the size limit only: a FIFO, a device or a huge file fails here,
    // before anything is read or allocated.
    UniqueFile file(OpenRegularFileStream(path, kMaxReleaseManifestBytes));
    if (!file) {
        QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Failed to open \"%s\".", path.c_str());
        return E_FAIL;
    }
    HRESULT hr = S_OK;
    if (IsCancelRequested(cancel)) {
        QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Cancellation request detected, aborting");
        hr = E_ABORT;
    } else {
        std::vector<uint8_t> bytes;
        ReadWholeStream(file.get(), bytes);
        hr = ParseImage(*this, bytes.data(), bytes.size(), file.get(), cancel);
    }

    // A closed stream cannot be asked for its state; a failed close reports the system error.
    errno = 0;
    if (!file.Close()) {
        LastErrorFailure(LOAD_TAG);
        if (SUCCEEDED(hr)) hr = E_FAIL;
    }
    return hr;
}

HRESULT ReleaseManifest::Parse(const uint8_t* bytes, size_t size, const signed char* cancel) {
    QUOR_LOG_TAG(Log::DEBUG, PARSE_TAG, "(%zu bytes)", size);
    if (IsCancelRequested(cancel)) {
        QUOR_LOG_TAG(Log::ERROR, PARSE_TAG, "Cancellation request detected, aborting");
        return E_ABORT;
    }
    return ParseImage(*this, bytes, size, nullptr, cancel);
}

}  // namespace Quor::Common
