#pragma once
// A file iterator over a list of entries made up front (the zip and client-API iterators): each
// entry is a name (cut to 1023 bytes) and a folder flag. SkipDotDirectories steps over two
// entries unconditionally (the lists begin with "." and ".." whenever the pattern asked for
// them). Owns its entries; one thread at a time.
#include <string>
#include <vector>

#include "foundation/File/FileIterator.h"

namespace Vorn::File {

class EntryListFileIterator : public FileIterator {
public:
    static constexpr size_t kMaxName = 1023;

    void Add(const std::string& name, bool isDirectory) {
        m_entries.push_back({name.size() > kMaxName ? name.substr(0, kMaxName) : name, isDirectory});
    }
    // Appends every entry that another iterator yields, with its folder flag.
    void AppendAll(const FileIteratorPtr& other) {
        for (; other && other->HasFile(); other->Advance())
            Add(other->GetCurrentFileName(), other->IsCurrentFileDirectory());
    }

    bool HasFile() const override { return m_index < m_entries.size(); }
    void Advance() override { ++m_index; }
    void SkipDotDirectories() override {
        Advance();
        Advance();
    }
    const char* GetCurrentFileName() const override { return HasFile() ? m_entries[m_index].name.c_str() : ""; }
    bool IsCurrentFileDirectory() const override { return HasFile() && m_entries[m_index].isDirectory; }

private:
    struct Entry {
        std::string name;
        bool isDirectory;
    };
    std::vector<Entry> m_entries;
    size_t m_index = 0;
};

}  // namespace Vorn::File
