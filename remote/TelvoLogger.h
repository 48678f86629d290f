#pragma once
// Quor::User::TelvoLogger: collects small key and value records about patching and uploads them,
// one JSON document per HTTP POST, to the "/messages" resource of a telemetry collector.
//
// Whether anything is collected is decided once per logger from "Region" in the system settings
// and a random draw: region "VORN" always sends, to the host of the setting "TelvoTestCollector";
// the production regions (NORTH, NORTHW, NORTHE, EAST, FAR, SOUTH, MID1_SECURE, MID2_SECURE,
// TRIAL, PREVIEW, STAGING) would send to the host of "TelvoCollector" but are never sampled; any
// other region, or none, has no collector. A disabled logger logs each entry and keeps nothing.
//
// Uploads run on a thread of their own, one at a time: each upload thread first waits for the one
// before it. Nothing is retried; records of a failed upload are lost; callers never see a failure.
// Shutdown starts the upload of what is pending and waits for the uploads up to 10 s in all; a
// transfer still running near the end of that time is stopped through its own abort (a stop flag
// its progress callback reads), never cancelled. No lock is held while an upload is waited for.
// Threads: every operation may be called from any thread; the record list is guarded by the
// logger's mutex. GetInstance and Shutdown are guarded too; the kernel calls Shutdown after its
// last request.
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Mutex.h"
#include "foundation/Thread.h"
#include "foundation/ThreadAnnotations.h"
#include "foundation/Types.h"
#include "remote/TelvoRecord.h"

namespace Quor::User {

// Keys of "system.cfg" naming the collectors' hosts (such as "127.0.0.1:8080").
extern const char* const SETTING_TELVO_TEST_COLLECTOR;  // "TelvoTestCollector"
extern const char* const SETTING_TELVO_COLLECTOR;       // "TelvoCollector"

class TelvoLogger {
public:
    static TelvoLogger* GetInstance();
    static void Shutdown();

    void AddLogEntry(const std::string& key, UINT value, bool sendNow);
    void AddLogEntry(const std::string& key, const char* value, bool sendNow);
    void AddLogEntry(const std::string& key, bool value, bool sendNow);
    void AddLogEntry(const std::string& key, float value, bool sendNow);

    // Starts an upload of everything pending (none when nothing is pending).
    void SendDataToServer() EXCLUDES(*m_mutex);

    bool IsEnabled() const { return m_enabled; }
    const std::string& GetEndpoint() const { return m_endpoint; }

    TelvoLogger(const TelvoLogger&) = delete;
    TelvoLogger& operator=(const TelvoLogger&) = delete;

private:
    TelvoLogger();
    ~TelvoLogger();

    void ChooseServerForRegion();
    void Add(const std::string& key, TelvoRecord record, bool sendNow) EXCLUDES(*m_mutex);
    static Vorn::uint32 SendDataToServerInternal(void* job);
    void WaitForAndShutdownUploadThread() EXCLUDES(*m_mutex);

    std::string m_endpoint;
    std::shared_ptr<Vorn::Mutex> m_mutex;
    std::shared_ptr<Vorn::Thread> m_uploadThread GUARDED_BY(*m_mutex);  // the newest upload
    bool m_enabled = false;
    std::shared_ptr<std::atomic<bool>> m_stop;  // aborts every upload of this logger
    std::vector<TelvoRecord> m_pending GUARDED_BY(*m_mutex);
};

}  // namespace Quor::User
