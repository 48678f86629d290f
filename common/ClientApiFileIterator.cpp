#include "common/ClientApiFileIterator.h"

#include <atomic>
#include <string>

#include "common/Log.h"
#include "foundation/CStd/CStd.h"
#include "foundation/File/EntryListFileIterator.h"

namespace Vorn::File {

namespace {

std::atomic<CreateMainFunction> g_createMain{nullptr};

// Receives every log line that passes the level test and drops it.
class MyIWrite final : public Quor::Log::IWrite {
public:
    void Write(Quor::Log::TYPE, const char*, const char*) override {}
};
// Trivially destructible: still valid for log lines written while the process exits.
MyIWrite g_dropWriter;

struct MyQuorObjects {
    MyQuorObjects() {
        Quor::Log::SetLogLevel(Quor::Log::DEBUG);
        Quor::Log::SetIWrite(&g_dropWriter);
        if (CreateMainFunction createMain = g_createMain.load()) createMain(main);
    }
    std::shared_ptr<Quor::API::IMain> main;
};

}  // namespace

void SetQuorAPICreateMain(CreateMainFunction createMain) {
    g_createMain.store(createMain);
    SetQuorFileIteratorFactory(createMain ? &CreateClientApiFileIterator : nullptr);
}

Quor::API::IMain* GetQuorAPIIMain() {
    static MyQuorObjects objects;  // thread-safe once; a throwing construction is tried again
    return objects.main.get();
}

FileIteratorPtr CreateClientApiFileIterator(const char* pattern, unsigned flags) {
    Quor::API::IMain* main = GetQuorAPIIMain();
    if (!main || !(main->GetFlags() & Quor::API::IMain::FLAG_RUNTIME_ENVIRONMENT)) return FileIteratorPtr();

    const std::string text = pattern ? pattern : "";
    auto iterator = std::make_shared<EntryListFileIterator>();
    char name[1024], extension[1024];
    if (std_splitpath(text.c_str(), nullptr, 0, nullptr, 0, name, sizeof name, extension, sizeof extension) &&
        std_stricmp(name, "*") == 0 && (extension[0] == '\0' || std::string(extension) == "*")) {
        iterator->Add(".", true);
        iterator->Add("..", true);
    }
    const bool foldersOnly = (flags & FILE_ITERATOR_FOLDERS_ONLY) != 0;
    std::shared_ptr<Quor::API::IFindFileResult> result;
    const uint32_t what = foldersOnly ? Quor::API::IMain::FIND_FOLDERS
                                     : Quor::API::IMain::FIND_FILES | Quor::API::IMain::FIND_FOLDERS;
    if (FAILED(main->FindFile(text, what, result)) || !result) return FileIteratorPtr();
    for (uint32_t i = 0; i < result->GetCount(); ++i) {
        const Quor::API::FindFileResultItem& item = result->GetByIndex(i);
        const bool folder = item.type == Quor::API::FindFileResultItem::TYPE_FOLDER;
        if (!foldersOnly || folder) iterator->Add(item.name, folder);
    }
    iterator->AppendAll(CreatePlatformFileIterator(pattern, flags));
    return iterator;
}

}  // namespace Vorn::File
