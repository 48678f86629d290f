#pragma once
// Quor::User::NorripManager: the rest of the inert peer-to-peer download hook - the switch in the
// user settings, start and stop of the outside client (which never starts on this platform), the
// clean-up of its folders under {root}, and the marker files of its downloads. Nothing in the
// system calls it.
//
// Folders: {root}/norrip/ (the client's own files) and {root}/downloads/ (files fetched for it).
// GetLocalDownloadPath maps a server path to {root}/downloads/ + its folder part; a server path
// that could lead out of that folder (absolute after the one leading separator, an empty, "." or
// ".." segment, a backslash or a NUL) maps to the empty text.
// One process-wide instance (Instance()); used by one thread at a time.
#include <string>

#include "common/LocalFileSystem.h"
#include "foundation/Types.h"
#include "remote/IRemoteFileServer.h"

namespace Quor::User {

class NorripManager {
public:
    static NorripManager& Instance();

    // True when "user.cfg" has "disableP2P" = "true" (any case).
    bool IsP2PDisabled() const;
    HRESULT start();
    HRESULT startNRB();
    HRESULT stop(bool force);
    HRESULT GarbageCollectNorripFiles();
    std::string GetLocalDownloadPath(const std::string& remotePath) const;
    HRESULT startNorripDownload(IRemoteFileServer& server, Common::LocalFileSystem& fileSystem,
                                const std::string& remotePath, std::string& localPath, DWORD& transferStatus);

    NorripManager() = default;

private:
    static const std::string& ApplicationIdentifier();

    bool m_startFailed = false;
    bool m_running = false;
};

}  // namespace Quor::User
