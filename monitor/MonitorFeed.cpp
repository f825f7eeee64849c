#include "monitor/MonitorFeed.h"

#include <algorithm>

void TMonitorFeed::AddRow(const TDataRow& row) {
    {
        const std::lock_guard lock(fMutex);
        fRows.push_back(row);
        if (row.Kind == TRowKind::Data)
            fLatestData = row;
    }
    const std::lock_guard lock(fListenerMutex);
    if (fListener)
        fListener();
}

void TMonitorFeed::AddRows(const std::vector<TDataRow>& rows) {
    if (rows.empty())
        return;
    {
        const std::lock_guard lock(fMutex);
        for (const TDataRow& row : rows) {
            fRows.push_back(row);
            if (row.Kind == TRowKind::Data)
                fLatestData = row;
        }
    }
    const std::lock_guard lock(fListenerMutex);
    if (fListener)
        fListener();
}

void TMonitorFeed::SetStatus(const TMonitorStatus& status) {
    const std::lock_guard lock(fMutex);
    fStatus = status;
}

std::int64_t TMonitorFeed::RowCount() const {
    const std::lock_guard lock(fMutex);
    return std::int64_t(fRows.size());
}

std::vector<TDataRow> TMonitorFeed::Rows(std::int64_t from, std::int64_t limit) const {
    std::vector<TDataRow> out;
    if (from < 0 || limit <= 0)
        return out;
    const std::lock_guard lock(fMutex);
    const std::int64_t size = std::int64_t(fRows.size());
    if (from >= size)
        return out;
    const std::int64_t to = std::min(size, from + limit);
    out.assign(fRows.begin() + from, fRows.begin() + to);
    return out;
}

std::optional<TDataRow> TMonitorFeed::LatestDataRow() const {
    const std::lock_guard lock(fMutex);
    return fLatestData;
}

TMonitorStatus TMonitorFeed::Status() const {
    const std::lock_guard lock(fMutex);
    return fStatus;
}

void TMonitorFeed::SetRowListener(std::function<void()> listener) {
    const std::lock_guard lock(fListenerMutex);
    fListener = std::move(listener);
}
