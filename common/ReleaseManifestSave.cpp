// ReleaseManifest::Save: builds the directory tree of the entries, numbers it into the directory
// and file tables, and writes the parts of the file in order.
#include <cctype>
#include <cstring>
#include <unordered_map>

#include "common/CRT.h"
#include "common/LastError.h"
#include "common/Log.h"
#include "common/ManifestFile.h"
#include "common/ReleaseManifest.h"
#include "common/ReleaseManifestFormat.h"
#include "common/UniqueFile.h"
#include "foundation/ByteOrder.h"
#include "foundation/CStd/CStdStrings.h"

namespace Quor::Common {

namespace {

using Vorn::Bytes::ByteWriter;

const char* const SAVE_TAG = "HRESULT Quor::Common::ReleaseManifest::Save(const std::string &)";

// Directory names compare without regard to (ASCII) case, as Vorn::std_stricmp does; the key of a
// child is its lower-cased name.
std::string FoldCase(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

struct Node {
    std::string name;                                    // first spelling wins
    std::vector<size_t> children;                        // node indices, in order of creation
    std::unordered_map<std::string, size_t> childByKey;  // folded name -> node index
    std::vector<std::pair<size_t, std::string>> files;   // (entry index, file name)
};

// The string list: the index of a name is that of the first equal string (byte for byte).
class StringList {
public:
    DWORD Index(const std::string& text) {
        auto [it, inserted] = m_Index.try_emplace(text, static_cast<DWORD>(m_Count));
        if (inserted) {
            m_Data.insert(m_Data.end(), text.begin(), text.end());
            m_Data.push_back(0);
            ++m_Count;
        }
        return it->second;
    }
    size_t Count() const { return m_Count; }
    const std::vector<uint8_t>& Data() const { return m_Data; }

private:
    std::unordered_map<std::string, DWORD> m_Index;
    std::vector<uint8_t> m_Data;
    size_t m_Count = 0;
};

std::vector<Node> BuildTree(const std::vector<ReleaseManifest::ENTRY>& entries) {
    std::vector<Node> nodes(1);  // the root, with the empty name
    for (size_t e = 0; e < entries.size(); ++e) {
        const std::string& name = entries[e].name;
        size_t node = 0;
        size_t start = 0;
        while (true) {
            const size_t sep = name.find_first_of("/\\", start);
            if (sep == std::string::npos) break;
            const std::string_view piece(name.data() + start, sep - start);
            auto [it, inserted] = nodes[node].childByKey.try_emplace(FoldCase(piece), nodes.size());
            if (inserted) {
                const size_t child = nodes.size();
                nodes[node].children.push_back(child);
                nodes.emplace_back();
                nodes.back().name.assign(piece);
            }
            node = it->second;
            start = sep + 1;
        }
        nodes[node].files.emplace_back(e, name.substr(start));
    }
    return nodes;
}

struct Tables {
    std::vector<File::DirectoryTableEntry> directories;
    std::vector<File::FileTableEntry> files;
    StringList strings;
};

// Numbers the tree: a node's record gets its name, its block of child records and its files; its
// children take the block from the last child to the first, each whole subtree numbered before
// the next child. An explicit stack keeps deep trees off the call stack.
void NumberTree(const std::vector<Node>& nodes, const std::vector<ReleaseManifest::ENTRY>& entries,
                Tables& t) {
    t.directories.push_back(File::DirectoryTableEntry{});
    std::vector<std::pair<size_t, size_t>> stack{{0, 0}};  // (node, record index)
    while (!stack.empty()) {
        const auto [node, record] = stack.back();
        stack.pop_back();
        const Node& n = nodes[node];
        File::DirectoryTableEntry& d = t.directories[record];
        d.nameIndex = t.strings.Index(n.name);
        d.firstSubdirectory = static_cast<DWORD>(t.directories.size());
        d.subdirectoryCount = static_cast<DWORD>(n.children.size());
        d.firstFile = static_cast<DWORD>(t.files.size());
        d.fileCount = static_cast<DWORD>(n.files.size());
        for (const auto& [entryIndex, fileName] : n.files) {
            const ReleaseManifest::ENTRY& entry = entries[entryIndex];
            File::FileTableEntry f;
            f.nameIndex = t.strings.Index(fileName);
            f.version = entry.version;
            std::memcpy(f.md5, entry.md5, sizeof f.md5);
            f.flags = entry.flags;
            f.size = entry.size;
            f.compressedSize = entry.compressedSize;
            t.files.push_back(f);
        }
        const size_t first = t.directories.size();
        const size_t count = n.children.size();
        t.directories.resize(first + count, File::DirectoryTableEntry{});
        // The last child takes `first`; pushed last, it is numbered first.
        for (size_t i = 0; i < count; ++i) stack.emplace_back(n.children[i], first + count - 1 - i);
    }
}

}  // namespace

HRESULT ReleaseManifest::Save(const std::string& path) {
    QUOR_LOG_TAG(Log::DEBUG, SAVE_TAG, "(\"%s\")", path.c_str());

    Tables tables;
    NumberTree(BuildTree(m_Entries), m_Entries, tables);
    const DWORD projectNameIndex = tables.strings.Index(m_ProjectName);
    const std::vector<uint8_t>& stringData = tables.strings.Data();
    if (tables.directories.size() > 0xFFFFFFFFu || tables.files.size() > 0xFFFFFFFFu ||
        stringData.size() > 0xFFFFFFFFu) {
        QUOR_LOG_TAG(Log::ERROR, SAVE_TAG, "The manifest is too large for its file format");
        return E_FAIL;
    }

    // The parts of the file, each written with its own message on failure.
    std::vector<uint8_t> header, projectInfo, directoryHeader, directoryTable, fileHeader, fileTable,
        stringHeader;
    ByteWriter(header).U32(File::MAGIC);
    ByteWriter(header).U32(File::CURRENT_VERSION);
    ByteWriter(projectInfo).U32(projectNameIndex);
    ByteWriter(projectInfo).U32(m_ReleaseVersion);
    ByteWriter(directoryHeader).U32(static_cast<uint32_t>(tables.directories.size()));
    directoryTable.reserve(tables.directories.size() * File::DIRECTORY_RECORD_SIZE);
    for (const File::DirectoryTableEntry& d : tables.directories) {
        ByteWriter w(directoryTable);
        w.U32(d.nameIndex);
        w.U32(d.firstSubdirectory);
        w.U32(d.subdirectoryCount);
        w.U32(d.firstFile);
        w.U32(d.fileCount);
    }
    ByteWriter(fileHeader).U32(static_cast<uint32_t>(tables.files.size()));
    fileTable.reserve(tables.files.size() * File::FILE_RECORD_SIZE);
    for (const File::FileTableEntry& f : tables.files) {
        ByteWriter w(fileTable);
        w.U32(f.nameIndex);
        w.U32(f.version);
        w.Raw(f.md5, sizeof f.md5);
        w.U32(f.flags);
        w.U32(f.size);
        w.U32(f.compressedSize);
    }
    ByteWriter(stringHeader).U32(static_cast<uint32_t>(tables.strings.Count()));
    ByteWriter(stringHeader).U32(static_cast<uint32_t>(stringData.size()));

    FILE* opened = nullptr;
    CRT::fopen_s(&opened, path.c_str(), "wb");
    UniqueFile file(opened);
    if (!file) {
        QUOR_LOG_TAG(Log::ERROR, SAVE_TAG, "Failed to open \"%s\".", path.c_str());
        return E_FAIL;
    }

    struct Part {
        const std::vector<uint8_t>* bytes;
        const char* failure;
    };
    const Part parts[] = {
        {&header, "Failed to write header"},
        {&projectInfo, "Failed to write project info"},
        {&directoryHeader, "Failed to write directory table header"},
        {&directoryTable, "Failed to write directory table"},
        {&fileHeader, "Failed to write file table header"},
        {&fileTable, "Failed to write file table"},
        {&stringHeader, "Failed to write string table header"},
        {&stringData, "Failed to write string table data"},
    };
    HRESULT hr = S_OK;
    for (const Part& part : parts) {
        if (part.bytes->empty()) continue;  // no file records, or no string data
        errno = 0;
        if (fwrite(part.bytes->data(), 1, part.bytes->size(), file.get()) != part.bytes->size()) {
            hr = LastErrorFailure(SAVE_TAG);
            QUOR_LOG_TAG(Log::ERROR, SAVE_TAG, "%s", part.failure);
            break;
        }
    }
    return CloseManifestFile(SAVE_TAG, file, hr);
}

}  // namespace Quor::Common
