#pragma once
// The Disk tab: per project the bytes its files take, counted as the client
// counts them, beside what the client last recorded, and the client's own
// files, through the same table engine as the other tabs; a pie of those
// shares and of what the client may still use, with a legend; above them
// what the client uses in all, what it may use and which limit sets that,
// what the disk has free, and when the files were counted (or why the
// count stopped). The counting runs on the worker inside the refresh: this
// view only shows its figures.

#include <QWidget>

#include "tables/refresh_value.hpp"

class QChartView;
class QLabel;
class QPieSeries;
class QTableView;

namespace crunchwatch {

class TableModel;

class DiskView final : public QWidget {
    Q_OBJECT
public:
    explicit DiskView(QWidget* parent = nullptr);

    // Shows a refresh's disk figures.
    void show(const crunchwatch::RefreshValuePtr& value);

    // The pie shows this many projects at most; the rest as one slice.
    static constexpr int mostSlices = 8;

    TableModel* model() const { return m_model; }
    QTableView* table() const { return m_table; }
    QLabel* summary() const { return m_summary; }
    QLabel* walkNote() const { return m_note; }
    QPieSeries* pie() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void showSummary(const DiskFigures& disk);
    void redrawPie(const DiskFigures& disk);
    void colourSlices();

    TableModel* m_model;
    QTableView* m_table;
    QLabel* m_summary;
    QLabel* m_note;
    QChartView* m_chart;
    std::shared_ptr<const ComputerValue> m_value;  // the figures shown
};

}  // namespace crunchwatch
