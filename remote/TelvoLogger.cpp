#include "remote/TelvoLogger.h"

#include <map>
#include <utility>

#include "common/Log.h"
#include "foundation/AnnotatedMutex.h"
#include "foundation/Random.h"
#include "foundation/WaitResult.h"
#include "remote/HTTPConnection.h"
#include "remote/ServerSettings.h"

namespace Quor::User {

const char* const SETTING_TELVO_TEST_COLLECTOR = "TelvoTestCollector";
const char* const SETTING_TELVO_COLLECTOR = "TelvoCollector";

namespace {

#define QUOR_TELVO "Quor::User::TelvoLogger::"
const char* const TAG_SHUTDOWN = "static void " QUOR_TELVO "Shutdown()";
const char* const TAG_ADD_UINT = "void " QUOR_TELVO "AddLogEntry(const std::string &, UINT, bool)";
const char* const TAG_ADD_TEXT = "void " QUOR_TELVO "AddLogEntry(const std::string &, const char *, bool)";
const char* const TAG_ADD_BOOL = "void " QUOR_TELVO "AddLogEntry(const std::string &, bool, bool)";
const char* const TAG_ADD_FLOAT = "void " QUOR_TELVO "AddLogEntry(const std::string &, float, bool)";
const char* const TAG_SEND = "void " QUOR_TELVO "SendDataToServer()";
const char* const TAG_SEND_INTERNAL = "static uint32 " QUOR_TELVO "SendDataToServerInternal(void *)";
const char* const TAG_WAIT = "void " QUOR_TELVO "WaitForAndShutdownUploadThread()";
const char* const TAG_CHOOSE = "void " QUOR_TELVO "ChooseServerForRegion()";
#undef QUOR_TELVO

// The wait for the uploads at shutdown: in all at most 10 s, of which the last part is left for a
// transfer that has been told to stop to wind down.
constexpr DWORD kShutdownWaitMs = 10000;
constexpr DWORD kAbortGraceMs = 2000;

struct RegionRow {
    std::string endpoint;
    float rate;
};

// The region table, built when a logger is created.
std::map<std::string, RegionRow>& RegionTable() {
    static std::map<std::string, RegionRow> table;
    return table;
}

void FillRegionTable() {
    auto& settings = Common::GetSystemSettings();
    const std::string testHost = settings.Get(SETTING_TELVO_TEST_COLLECTOR);
    const std::string productionHost = settings.Get(SETTING_TELVO_COLLECTOR);
    auto& table = RegionTable();
    table.clear();
    table["VORN"] = {testHost + "/messages", 1.0f};
    for (const char* region : {"NORTH", "NORTHW", "NORTHE", "EAST", "FAR", "SOUTH", "MID1_SECURE", "MID2_SECURE",
                               "TRIAL", "PREVIEW", "STAGING"})
        table[region] = {productionHost + "/messages", -1.0f};
}

// One upload: the records it took, the upload before it (waited for first), and the stop flag.
struct UploadJob {
    std::string endpoint;
    std::vector<TelvoRecord> records;
    std::shared_ptr<Vorn::Thread> previous;
    std::shared_ptr<std::atomic<bool>> stop;
};

Vorn::AnnotatedMutex g_instanceMutex;
TelvoLogger* g_instance GUARDED_BY(g_instanceMutex) = nullptr;

}  // namespace

TelvoLogger* TelvoLogger::GetInstance() {
    Vorn::AnnotatedLockGuard lock(g_instanceMutex);
    if (!g_instance) g_instance = new TelvoLogger();
    return g_instance;
}

void TelvoLogger::Shutdown() {
    QUOR_LOG_TAG(Log::DEBUG, TAG_SHUTDOWN, "Telvo shutdown received");
    TelvoLogger* instance = nullptr;
    {
        Vorn::AnnotatedLockGuard lock(g_instanceMutex);
        instance = std::exchange(g_instance, nullptr);
    }
    delete instance;
}

TelvoLogger::TelvoLogger()
    : m_mutex(Vorn::Mutex::Create(false)), m_stop(std::make_shared<std::atomic<bool>>(false)) {
    FillRegionTable();
    ChooseServerForRegion();
    m_pending.clear();
}

TelvoLogger::~TelvoLogger() {
    SendDataToServer();
    WaitForAndShutdownUploadThread();
}

void TelvoLogger::ChooseServerForRegion() {
    const std::string region = Common::GetSystemSettings().Get(Common::SETTING_REGION);
    float rate = -1.0f;
    const auto row = RegionTable().find(region);
    if (row != RegionTable().end()) {
        m_endpoint = row->second.endpoint;
        rate = row->second.rate;
    }
    const float draw = Vorn::Math::GetRandomFloat();
    m_enabled = rate >= draw;
    QUOR_LOG_TAG(Log::DEBUG, TAG_CHOOSE, "Region \"%s\": collector \"%s\", %s", region.c_str(), m_endpoint.c_str(),
                 m_enabled ? "sampled" : "not sampled");
}

void TelvoLogger::AddLogEntry(const std::string& key, UINT value, bool sendNow) {
    QUOR_LOG_TAG(Log::USER, TAG_ADD_UINT, "Adding Telvo Pair. Key: %s Value: %u", key.c_str(), value);
    if (m_enabled) Add(key, TelvoRecord(key, value, TelvoRecord::NowMilliseconds()), sendNow);
}

void TelvoLogger::AddLogEntry(const std::string& key, const char* value, bool sendNow) {
    QUOR_LOG_TAG(Log::USER, TAG_ADD_TEXT, "Adding Telvo Pair. Key: %s Value: %s", key.c_str(), value ? value : "");
    if (m_enabled) Add(key, TelvoRecord(key, value, TelvoRecord::NowMilliseconds()), sendNow);
}

void TelvoLogger::AddLogEntry(const std::string& key, bool value, bool sendNow) {
    QUOR_LOG_TAG(Log::USER, TAG_ADD_BOOL, "Adding Telvo Pair. Key: %s Value: %d", key.c_str(), value ? 1 : 0);
    if (m_enabled) Add(key, TelvoRecord(key, value, TelvoRecord::NowMilliseconds()), sendNow);
}

void TelvoLogger::AddLogEntry(const std::string& key, float value, bool sendNow) {
    QUOR_LOG_TAG(Log::USER, TAG_ADD_FLOAT, "Adding Telvo Pair. Key: %s Value: %f", key.c_str(),
                 static_cast<double>(value));
    if (m_enabled) Add(key, TelvoRecord(key, value, TelvoRecord::NowMilliseconds()), sendNow);
}

void TelvoLogger::Add(const std::string&, TelvoRecord record, bool sendNow) {
    m_mutex->Lock();
    m_pending.push_back(std::move(record));
    m_mutex->Unlock();
    if (sendNow) SendDataToServer();
}

void TelvoLogger::SendDataToServer() {
    m_mutex->Lock();
    if (m_pending.empty()) {
        m_mutex->Unlock();
        return;
    }
    // The new upload waits for the one before it on its own thread, so that at most one upload
    // runs at a time while no caller waits here.
    auto* job = new UploadJob{m_endpoint, std::move(m_pending), m_uploadThread, m_stop};
    m_pending.clear();
    std::shared_ptr<Vorn::Thread> thread = Vorn::threadCreate(&TelvoLogger::SendDataToServerInternal, job);
    if (thread) {
        m_uploadThread = std::move(thread);
    } else {
        QUOR_LOG_TAG(Log::ERROR, TAG_SEND, "Failed to start the upload thread; %u messages are dropped.",
                     static_cast<unsigned>(job->records.size()));
        delete job;
    }
    m_mutex->Unlock();
}

Vorn::uint32 TelvoLogger::SendDataToServerInternal(void* argument) {
    std::unique_ptr<UploadJob> job(static_cast<UploadJob*>(argument));
    if (job->previous) {
        Vorn::threadJoin(job->previous, Vorn::INFINITE);
        job->previous.reset();
    }
    if (job->stop->load()) {
        QUOR_LOG_TAG(Log::ERROR, TAG_SEND_INTERNAL,
                     "Failed on upload to Telvo server. Some messages may not have reached the server.");
        return 0;
    }

    HRESULT result = S_OK;
    Common::HTTPConnection connection(result, job->endpoint, 80, 60, false, nullptr);
    if (FAILED(result)) {
        QUOR_LOG_TAG(Log::ERROR, TAG_SEND_INTERNAL, "Attempted to connect to Telvo server: %s, but failed",
                     job->endpoint.c_str());
        return 0;
    }
    connection.SetStopFlag(job->stop.get());

    bool all = true;
    for (const TelvoRecord& record : job->records) {
        std::string body;
        std::string response;
        if (!record.ToJson(body) || FAILED(connection.Post("", body, response, nullptr))) {
            QUOR_LOG_TAG(Log::ERROR, TAG_SEND_INTERNAL,
                         "Failed on upload to Telvo server. Some messages may not have reached the server.");
            all = false;
            break;
        }
    }
    if (all)
        QUOR_LOG_TAG(Log::DEBUG, TAG_SEND_INTERNAL, "Successfully sent %d messages to Telvo server: %s",
                     static_cast<int>(job->records.size()), job->endpoint.c_str());
    return 0;
}

void TelvoLogger::WaitForAndShutdownUploadThread() {
    m_mutex->Lock();
    std::shared_ptr<Vorn::Thread> thread = std::move(m_uploadThread);
    m_uploadThread.reset();
    m_mutex->Unlock();
    if (!thread) return;

    // The newest upload waits for every earlier one, so its end is the end of all of them.
    if (Vorn::threadJoin(thread, kShutdownWaitMs - kAbortGraceMs) == Vorn::WAIT_OBJECT_0) return;
    QUOR_LOG_TAG(Log::ERROR, TAG_WAIT,
                 "Thread did not terminate, calling TerminateThread. This could cause a lack of logging messages "
                 "being sent to the server.");
    // Stopped through the transfer's own abort: the progress callback sees the flag.
    m_stop->store(true);
    if (Vorn::threadJoin(thread, kAbortGraceMs) == Vorn::WAIT_OBJECT_0) return;
    QUOR_LOG_TAG(Log::ERROR, TAG_WAIT, "TerminateThread failed.");
    // It owns everything it uses, so it may finish on its own.
    Vorn::threadTerminate(thread, 0);
}

}  // namespace Quor::User
