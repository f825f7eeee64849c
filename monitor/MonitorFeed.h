#pragma once
// The web monitor's own copy of the run: every row as numbers, in the order the rows entered the
// data table, and the window's latest status. The window writes on the main thread; the monitor's
// server reads from its own thread. Reads copy what they need under the lock, so a request never
// holds the window up for longer than that copy, and never touches the window's table.
#include "monitor/MonitorStatus.h"
#include "recording/DataRow.h"

#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

class TMonitorFeed {
public:
    // A row has entered the data table (data or mode-change row).
    void AddRow(const TDataRow& row);
    // Rows the table held before the monitor was turned on, oldest first.
    void AddRows(const std::vector<TDataRow>& rows);
    // The window's status, at each refresh of its status bar.
    void SetStatus(const TMonitorStatus& status);

    // How many rows have entered so far.
    std::int64_t RowCount() const;
    // Up to `limit` rows from row number `from` (0: the first) on.
    std::vector<TDataRow> Rows(std::int64_t from, std::int64_t limit) const;
    // The newest data row (not a mode change), if there is one.
    std::optional<TDataRow> LatestDataRow() const;
    TMonitorStatus Status() const;

    // Called (on the writer's thread, outside the lock) after each new row, so a server can wake
    // its own thread; nullptr removes it. Must be cheap and must not call back into the feed's
    // writers.
    void SetRowListener(std::function<void()> listener);

private:
    mutable std::mutex fMutex;  // guards everything below
    std::deque<TDataRow> fRows; // in blocks: growing never copies what is there
    std::optional<TDataRow> fLatestData;
    TMonitorStatus fStatus;
    std::function<void()> fListener;
    mutable std::mutex fListenerMutex; // the listener is called and replaced under this one
};
