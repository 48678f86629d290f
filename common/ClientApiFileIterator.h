#pragma once
// The client API's file iterator: lists what the client API's main object sees (managed archives
// and loose files), then the disk's matches of the same pattern.
//
// The main object comes from the client library, which hands its CreateMain to
// SetQuorAPICreateMain when it is loaded; that also makes CreateFileIterator ask this iterator
// first (unless the caller passes FILE_ITERATOR_NO_CLIENT_API). A program without the client
// library never uses anything here: its listings come from the zip archives or the disk.
//
// The first GetQuorAPIIMain() call, once per process and thread-safe, sets the log level to DEBUG,
// installs a log writer that drops what it gets, and creates the main object; creation that
// throws is retried on the next call (the exception reaches the caller), creation that fails
// leaves no main object for good. The object lives until the process ends.
#include <memory>

#include "foundation/File/FileIterator.h"
#include "foundation/Types.h"
#include "foundation/api/IMain.h"

namespace Vorn::File {

using CreateMainFunction = HRESULT (*)(std::shared_ptr<Quor::API::IMain>& main);

// Installs the client library's CreateMain and registers the client-API iterator (null
// unregisters both). Takes effect for the main object only before the first GetQuorAPIIMain().
void SetQuorAPICreateMain(CreateMainFunction createMain);

// The process's client-API main object, or null.
Quor::API::IMain* GetQuorAPIIMain();

// Empty when there is no main object, its flag bit 0 is clear, or its FindFile fails.
FileIteratorPtr CreateClientApiFileIterator(const char* pattern, unsigned flags);

}  // namespace Vorn::File
