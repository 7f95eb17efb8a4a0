#pragma once
// The Computer tab: what the client knows of the computer it runs on (its
// processor, memory, disk, operating system, GPUs, run modes, time and
// network statistics) and the preferences in force, one line each under its
// group, through the same table engine as the other tabs. A group's name is
// written on its first line only, so the groups read as blocks; a line's
// tooltip says more and where it was read; a preference the override file
// sets is bold; a GPU the client cannot use is red, one it warned of orange.
// Below, the bytes the client sent and received per day over the newest
// days of its transfer history (drawn when the tab is visible).

#include <cstddef>
#include <memory>
#include <vector>

#include <QWidget>

#include "tables/refresh_value.hpp"

class QChartView;
class QLabel;
class QStackedWidget;
class QTableView;

namespace crunchwatch {

class TableModel;

// One day of the transfer chart: the local day number (days since 1970),
// bytes up and down (0 for a day the history does not hold).
struct TransferDay {
    long long day = 0;
    double up = 0, down = 0;
};
// The newest `mostDays` days from the history's last day back, every day
// between shown; entries whose numbers are no numbers are left out.
std::vector<TransferDay> transferDays(const std::vector<DailyXfer>& history, std::size_t mostDays);

class ComputerView final : public QWidget {
    Q_OBJECT
public:
    explicit ComputerView(QWidget* parent = nullptr);

    // Shows a refresh's host lines and transfer history.
    void show(const crunchwatch::RefreshValuePtr& value);

    // The days the chart shows at most: a month, each bar wide enough to read.
    static constexpr std::size_t shownDays = 31;

    TableModel* model() const { return m_model; }
    QTableView* table() const { return m_table; }
    QChartView* transfersChart() const { return m_chart; }
    // The days drawn (for tests); empty while "No transfer history" shows.
    const std::vector<TransferDay>& chartDays() const { return m_days; }
    bool chartShown() const;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void redrawChart();

    TableModel* m_model;
    QTableView* m_table;
    QStackedWidget* m_chartStack;
    QLabel* m_noHistory;
    QChartView* m_chart;
    std::shared_ptr<const HostFiles> m_files;
    std::vector<TransferDay> m_days;
    bool m_chartStale = true;
};

}  // namespace crunchwatch
