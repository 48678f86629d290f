#pragma once
// ProgressHolder: keeps the latest progress record of a running install or uninstall and renders
// it as the PATCHING text that game-version callers poll.
//
// UpdateProgress may run on the request manager's worker while another thread calls ToString or
// Clear; one lock separates them. The percentage shown never goes down until Clear. The text is
// always valid JSON: numbers from the record are clamped (percent 0..100, seconds 0..INT_MAX,
// non-finite seconds count as 0, bytes never wrap) and the current file is escaped.
#include <string>

#include "common/Lock.h"
#include "foundation/api/Progress.h"

class ProgressHolder : public Quor::API::IUpdateProgress {
public:
    ProgressHolder() = default;
    ~ProgressHolder() override = default;

    void UpdateProgress(const Quor::API::Progress& progress) override;
    // Appends the PATCHING text of the record held.
    void ToString(std::string& text);
    // Forgets the record and the highest percentage.
    void Clear();

private:
    Quor::Common::Lock m_Lock;
    Quor::API::Progress m_Progress;
    int m_HighestPercent = 0;
};
