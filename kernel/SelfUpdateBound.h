#pragma once
// What one self-update may download into {root}/system/temp: at most kSelfUpdateSizeFactor times
// the bytes the kernel's folder holds now (its regular files, the staging folder left out, no link
// followed), and never less than kSelfUpdateMinimumBytes. A server that sends more for the list's
// files (an endless body, a length announced past it) has the download cut there.
//
// SelfUpdateBudget is the listener of the self-update's file downloads: each file may take what
// the files before it left of the bound, which also sizes each transfer's deadline as for every
// bounded download. It never aborts a transfer itself. One thread at a time; not copyable.
#include <cstdint>
#include <string>

#include "remote/IGetFileProgressCallback.h"

namespace Quor::Orvane {

constexpr uint64_t kSelfUpdateSizeFactor = 4;
constexpr uint64_t kSelfUpdateMinimumBytes = 16u << 20;

// The bytes of the regular files below folder, without its "temp" folder and without following
// links.
uint64_t KernelFolderBytes(const std::string& folder);
// The bound of one self-update of the kernel's folder at folder.
uint64_t SelfUpdateByteCap(const std::string& folder);

class SelfUpdateBudget final : public Common::IGetFileProgressCallback {
public:
    explicit SelfUpdateBudget(uint64_t cap) : m_Cap(cap) {}
    SelfUpdateBudget(const SelfUpdateBudget&) = delete;
    SelfUpdateBudget& operator=(const SelfUpdateBudget&) = delete;

    HRESULT GetFileProgressCallback(const SIZE_T delta) override;
    int64_t GetFileMaximumBytes() const override;
    uint64_t Cap() const { return m_Cap; }

private:
    uint64_t m_Cap;
    uint64_t m_Used = 0;
};

}  // namespace Quor::Orvane
