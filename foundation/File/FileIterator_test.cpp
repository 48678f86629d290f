#include "foundation/File/FileIterator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/kit/TempDir.h"

using namespace Vorn::File;

namespace {

using Entries = std::vector<std::pair<std::string, bool>>;

Entries Collect(const FileIteratorPtr& iterator) {
    Entries entries;
    for (; iterator && iterator->HasFile(); iterator->Advance())
        entries.emplace_back(iterator->GetCurrentFileName(), iterator->IsCurrentFileDirectory());
    return entries;
}

// A fixed list, standing in for the client-API and zip iterators.
class ListIterator : public FileIterator {
public:
    explicit ListIterator(Entries entries) : m_entries(std::move(entries)) {}
    bool HasFile() const override { return m_index < m_entries.size(); }
    void Advance() override { ++m_index; }
    void SkipDotDirectories() override {}
    const char* GetCurrentFileName() const override { return m_entries[m_index].first.c_str(); }
    bool IsCurrentFileDirectory() const override { return m_entries[m_index].second; }

private:
    Entries m_entries;
    size_t m_index = 0;
};

FileIteratorPtr QuorFactory(const char*, unsigned) {
    return std::make_shared<ListIterator>(Entries{{"from-client-api", false}});
}
FileIteratorPtr ZipFactory(const char*, unsigned) {
    return std::make_shared<ListIterator>(Entries{{"from-zip", false}});
}
FileIteratorPtr NothingFactory(const char*, unsigned) {
    return nullptr;
}

class PlatformTree : public testing::Test {
protected:
    void SetUp() override {
        QuorTest::WriteFile(m_dir / "d/a.txt", "a");
        QuorTest::WriteFile(m_dir / "d/b.dat", "b");
        QuorTest::WriteFile(m_dir / "d/.hidden", "h");
        QuorTest::MakeDirs(m_dir / "d/sub1");
        QuorTest::MakeDirs(m_dir / "d/sub2.x");
    }
    QuorTest::TempDir m_dir;
};

}  // namespace

TEST_F(PlatformTree, ListsTheMatchesOfTheDiskWithoutTheirFolder) {
    EXPECT_THAT(Collect(CreatePlatformFileIterator((m_dir / "d/*").c_str(), 0)),
                testing::UnorderedElementsAre(std::pair<std::string, bool>("a.txt", false),
                                              std::pair<std::string, bool>("b.dat", false),
                                              std::pair<std::string, bool>("sub1", true),
                                              std::pair<std::string, bool>("sub2.x", true)));
    EXPECT_THAT(Collect(CreatePlatformFileIterator((m_dir / "d/*.txt").c_str(), 0)),
                testing::ElementsAre(std::pair<std::string, bool>("a.txt", false)));
    // Backslashes in the pattern are read as "/".
    std::string backslashed = m_dir / "d\\*.dat";
    EXPECT_THAT(Collect(CreatePlatformFileIterator(backslashed.c_str(), 0)),
                testing::ElementsAre(std::pair<std::string, bool>("b.dat", false)));
}

TEST_F(PlatformTree, FoldersOnlyStartsOnTheFirstFolderAndYieldsNothingForFiles) {
    auto iterator = CreatePlatformFileIterator((m_dir / "d/*").c_str(), FILE_ITERATOR_FOLDERS_ONLY);
    ASSERT_TRUE(iterator->HasFile());
    EXPECT_TRUE(iterator->IsCurrentFileDirectory());
    EXPECT_THAT(Collect(iterator),
                testing::UnorderedElementsAre(std::pair<std::string, bool>("sub1", true),
                                              std::pair<std::string, bool>("sub2.x", true)));
    EXPECT_TRUE(
        Collect(CreatePlatformFileIterator((m_dir / "d/*.txt").c_str(), FILE_ITERATOR_FOLDERS_ONLY)).empty());
}

TEST_F(PlatformTree, NoMatchGivesAnIteratorWithoutFiles) {
    for (const std::string& pattern : {m_dir / "nothing*", m_dir / "missing/*", std::string()}) {
        auto iterator = CreatePlatformFileIterator(pattern.c_str(), 0);
        ASSERT_TRUE(iterator) << pattern;
        EXPECT_FALSE(iterator->HasFile());
        iterator->Advance();  // harmless at the end
        iterator->SkipDotDirectories();
        EXPECT_FALSE(iterator->HasFile());
    }
    EXPECT_FALSE(CreatePlatformFileIterator(nullptr, 0)->HasFile());
}

TEST_F(PlatformTree, CreateFileIteratorAsksTheClientApiThenTheZipsThenTheDisk) {
    const std::string pattern = m_dir / "d/*.txt";
    const auto disk = Entries{{"a.txt", false}};

    // Nothing registered: the disk.
    EXPECT_EQ(Collect(CreateFileIterator(pattern.c_str(), 0)), disk);

    SetZipFileIteratorFactory(&ZipFactory);
    EXPECT_EQ(Collect(CreateFileIterator(pattern.c_str(), 0)), (Entries{{"from-zip", false}}));

    SetQuorFileIteratorFactory(&QuorFactory);
    EXPECT_EQ(Collect(CreateFileIterator(pattern.c_str(), 0)), (Entries{{"from-client-api", false}}));
    // Flag 2 skips the client API even when it is there.
    EXPECT_EQ(Collect(CreateFileIterator(pattern.c_str(), FILE_ITERATOR_NO_CLIENT_API)),
              (Entries{{"from-zip", false}}));

    // A factory with nothing to list passes on to the next source.
    SetQuorFileIteratorFactory(&NothingFactory);
    SetZipFileIteratorFactory(&NothingFactory);
    EXPECT_EQ(Collect(CreateFileIterator(pattern.c_str(), 0)), disk);
    SetQuorFileIteratorFactory(nullptr);
    SetZipFileIteratorFactory(nullptr);
    EXPECT_EQ(Collect(CreateFileIterator(pattern.c_str(), 0)), disk);
}
