#include "common/ClientApiFileIterator.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "common/Log.h"
#include "tests/kit/TempDir.h"

namespace {

using namespace Vorn::File;
using Quor::API::FindFileResultItem;

class FakeResult : public Quor::API::IFindFileResult {
public:
    explicit FakeResult(std::vector<FindFileResultItem> items) : m_items(std::move(items)) {}
    uint32_t GetCount() const override { return static_cast<uint32_t>(m_items.size()); }
    const FindFileResultItem& GetByIndex(uint32_t index) const override { return m_items[index]; }

private:
    std::vector<FindFileResultItem> m_items;
};

struct Script {
    DWORD flags = Quor::API::IMain::FLAG_RUNTIME_ENVIRONMENT;
    HRESULT findResult = S_OK;
    HRESULT createResult = S_OK;
    int throwsLeft = 0;
    int creations = 0;
    std::vector<std::string> patterns;
    std::vector<uint32_t> findFlags;
} g_script;

class FakeMain : public Quor::API::IMain {
public:
    HRESULT FindFile(const std::string& pattern, const uint32_t flags,
                     std::shared_ptr<Quor::API::IFindFileResult>& result) override {
        g_script.patterns.push_back(pattern);
        g_script.findFlags.push_back(flags);
        result = std::make_shared<FakeResult>(std::vector<FindFileResultItem>{
            {FindFileResultItem::TYPE_FILE, "managed.dat"}, {FindFileResultItem::TYPE_FOLDER, "archived"}});
        return g_script.findResult;
    }
    HRESULT OpenFile(const std::string&, const Quor::API::FILE_TYPE, std::shared_ptr<Quor::API::IFile>&) override {
        return E_NOTIMPL;
    }
    bool DoesFileOrDirectoryExist(const std::string&) override { return false; }
    void FindBestPath(const std::string&, std::string&) override {}
    std::shared_ptr<Quor::API::IAsyncLoadFile> CreateAsyncLoadFile(const std::string&) override { return nullptr; }
    Quor::API::RPC::IManager& GetRPCManager() override { throw std::logic_error("not connected"); }
    DWORD GetFlags() const override { return g_script.flags; }
};

HRESULT FakeCreateMain(std::shared_ptr<Quor::API::IMain>& main) {
    ++g_script.creations;
    if (g_script.throwsLeft > 0) {
        --g_script.throwsLeft;
        throw std::bad_alloc();
    }
    if (SUCCEEDED(g_script.createResult)) main = std::make_shared<FakeMain>();
    return g_script.createResult;
}

std::vector<std::string> List(const FileIteratorPtr& it) {
    std::vector<std::string> names;
    for (; it && it->HasFile(); it->Advance())
        names.push_back(std::string(it->GetCurrentFileName()) + (it->IsCurrentFileDirectory() ? "/" : ""));
    return names;
}

// The working folder holds dir/disk.txt and dir/sub/ on disk.
class ClientApiFileIteratorTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_script = Script();
        QuorTest::WriteFile(m_dir / "dir/disk.txt", "x");
        QuorTest::MakeDirs(m_dir / "dir/sub");
    }
    void TearDown() override { SetQuorAPICreateMain(nullptr); }
    QuorTest::TempDir m_dir{"clientapiiterator"};
    QuorTest::ScopedCwd m_cwd{m_dir.path()};
};

TEST_F(ClientApiFileIteratorTest, WithoutTheClientLibraryTheDiskIsListed) {
    EXPECT_EQ(List(CreateFileIterator("dir/*.txt", 0)), (std::vector<std::string>{"disk.txt"}));
    EXPECT_FALSE(Quor::Log::Internal::IsEnabled(Quor::Log::DEBUG));  // the main object was never asked for
    EXPECT_EQ(g_script.creations, 0);
}

TEST_F(ClientApiFileIteratorTest, ListsTheMainObjectsFilesThenTheDisk) {
    SetQuorAPICreateMain(&FakeCreateMain);
    auto sorted = [](std::vector<std::string> v, size_t from) {
        std::sort(v.begin() + static_cast<long>(std::min(from, v.size())), v.end());
        return v;
    };
    EXPECT_EQ(sorted(List(CreateFileIterator("dir/*", 0)), 4),
              (std::vector<std::string>{"./", "../", "managed.dat", "archived/", "disk.txt", "sub/"}));
    EXPECT_TRUE(Quor::Log::Internal::IsEnabled(Quor::Log::DEBUG));
    EXPECT_FALSE(Quor::Log::Internal::IsEnabled(Quor::Log::VERBOSE));
    EXPECT_EQ(List(CreateFileIterator("dir/*.*", 0)).front(), "managed.dat");  // "*.*" gets no dots
    EXPECT_EQ(List(CreateFileIterator("dir/*", FILE_ITERATOR_FOLDERS_ONLY)),
              (std::vector<std::string>{"./", "../", "archived/", "sub/"}));
    EXPECT_EQ(g_script.patterns, (std::vector<std::string>{"dir/*", "dir/*.*", "dir/*"}));
    EXPECT_EQ(g_script.findFlags, (std::vector<uint32_t>{3, 3, 2}));
    // Bit 1 leaves the client API out.
    EXPECT_EQ(List(CreateFileIterator("dir/*.txt", FILE_ITERATOR_NO_CLIENT_API)), (std::vector<std::string>{"disk.txt"}));
    EXPECT_EQ(g_script.creations, 1);
    EXPECT_NE(GetQuorAPIIMain(), nullptr);
}

TEST_F(ClientApiFileIteratorTest, UnusableMainObjectFallsThroughToTheDisk) {
    SetQuorAPICreateMain(&FakeCreateMain);
    g_script.flags = 0;
    EXPECT_EQ(List(CreateFileIterator("dir/*.txt", 0)), (std::vector<std::string>{"disk.txt"}));
    g_script.flags = Quor::API::IMain::FLAG_RUNTIME_ENVIRONMENT;
    g_script.findResult = E_FAIL;
    EXPECT_EQ(List(CreateFileIterator("dir/*.txt", 0)), (std::vector<std::string>{"disk.txt"}));
    EXPECT_EQ(g_script.creations, 1);
}

TEST_F(ClientApiFileIteratorTest, FailedCreationIsFinalThrowingCreationIsRetried) {
    SetQuorAPICreateMain(&FakeCreateMain);
    g_script.throwsLeft = 1;
    EXPECT_THROW(GetQuorAPIIMain(), std::bad_alloc);
    g_script.createResult = E_FAIL;
    EXPECT_EQ(GetQuorAPIIMain(), nullptr);
    g_script.createResult = S_OK;
    EXPECT_EQ(GetQuorAPIIMain(), nullptr);  // not asked again
    EXPECT_EQ(g_script.creations, 2);
    EXPECT_EQ(List(CreateFileIterator("dir/*.txt", 0)), (std::vector<std::string>{"disk.txt"}));
}

}  // namespace
