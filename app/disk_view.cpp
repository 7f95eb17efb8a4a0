#include "app/disk_view.hpp"

#include <algorithm>
#include <optional>
#include <vector>

#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QLabel>
#include <QLegend>
#include <QPieSeries>
#include <QPieSlice>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "app/chart_style.hpp"
#include "app/table_model.hpp"
#include "app/table_view.hpp"
#include "state/numbers.hpp"
#include "tables/transfers_table.hpp"

namespace crunchwatch {
namespace {

// What a slice of the pie stands for: "project", "client" or "allowance".
constexpr const char* sliceKind = "sliceKind";

QString bytesText(double bytes) { return QString::fromStdString(bytesForPeople(bytes)); }
QString qText(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// What a row takes on the disk: the count, or before the first count the
// client's own record.
double rowBytes(const DiskRow& row) {
    if (row.bytes) return static_cast<double>(*row.bytes);
    return row.recorded ? std::max(0.0, readNumber(*row.recorded)) : 0;
}

}  // namespace

DiskView::DiskView(QWidget* parent)
    : QWidget(parent),
      m_model(new ColumnTableModel<DiskRow>(diskTable, this)),
      m_table(makeTable(m_model, this)),
      m_summary(new QLabel(this)),
      m_note(new QLabel(this)),
      m_chart(new QChartView(new QChart, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_note->setTextFormat(Qt::PlainText);  // file names are shown as they are
    m_note->setWordWrap(true);
    layout->addWidget(m_summary);
    layout->addWidget(m_note);

    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    setInitialWidths(m_table, {"World Community Grid", "1023.99 MiB (1 073 731 584 bytes)",
                               "1023.99 MiB (1 073 731 584 bytes)", "Share 100.0%"});
    m_chart->setRenderHint(QPainter::Antialiasing);
    m_chart->setMinimumHeight(220);
    QChart* chart = m_chart->chart();
    chart->setTitle(tr("What the client may use"));
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->addSeries(new QPieSeries);
    // A few rows above, the pie below them with the room its legend needs.
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_table);
    splitter->addWidget(m_chart);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 2);
    layout->addWidget(splitter, 1);
}

QPieSeries* DiskView::pie() const { return qobject_cast<QPieSeries*>(m_chart->chart()->series().value(0)); }

void DiskView::show(const RefreshValuePtr& value) {
    if (!value) return;
    m_model->show(value);
    if (value->computer == m_value) return;
    m_value = value->computer;
    showSummary(m_value->disk);
    redrawPie(m_value->disk);
}

void DiskView::showSummary(const DiskFigures& disk) {
    QStringList parts;
    parts << tr("Used: %1")
                 .arg(disk.totalBytes ? bytesText(static_cast<double>(*disk.totalBytes)) : tr("not counted yet"));
    if (disk.allowed.bytes)
        parts << tr("allowed: %1 (set by %2)")
                     .arg(bytesText(*disk.allowed.bytes), qText(boundText(disk.allowed.bound)));
    else
        parts << tr("allowed: unknown");
    if (disk.freeBytes) parts << tr("free on disk: %1").arg(bytesText(*disk.freeBytes));
    if (disk.diskBytes) parts << tr("disk size: %1").arg(bytesText(*disk.diskBytes));
    m_summary->setText(parts.join(QStringLiteral("   ·   ")));
    m_summary->setToolTip(disk.live ? tr("Free space and size are this computer's file system now.")
                                    : tr("Free space and size are those the client last recorded in its state file."));
    m_note->setText(QString::fromStdString(disk.walkNote));
    m_note->setVisible(!disk.walkNote.empty());
}

void DiskView::redrawPie(const DiskFigures& disk) {
    QPieSeries* series = pie();
    series->clear();
    // The largest projects each a slice, the others one, the client's own
    // files one, and what may still be used one.
    // Only the projects that take anything can be a slice or add to the
    // others' one: a million empty projects cost nothing here.
    std::vector<DiskRow> projects;
    std::size_t projectCount = 0;
    std::optional<DiskRow> client;
    for (std::size_t i = 0; i < disk.rowCount(); ++i) {
        DiskRow row = disk.row(i);
        if (!row.project) client = row;
        else if (++projectCount, rowBytes(row) > 0) projects.push_back(row);
    }
    std::stable_sort(projects.begin(), projects.end(),
                     [](const DiskRow& a, const DiskRow& b) { return rowBytes(a) > rowBytes(b); });
    const auto add = [series](const QString& name, double bytes, const char* kind = "project") {
        if (bytes <= 0) return;
        QPieSlice* slice = series->append(QStringLiteral("%1 (%2)").arg(name, bytesText(bytes)), bytes);
        slice->setProperty(sliceKind, QString::fromLatin1(kind));
    };
    double others = 0;
    for (std::size_t i = 0; i < projects.size(); ++i)
        if (i < static_cast<std::size_t>(mostSlices)) add(qText(projects[i].name), rowBytes(projects[i]));
        else others += rowBytes(projects[i]);
    if (others > 0) add(tr("%n other project(s)", nullptr, static_cast<int>(projectCount) - mostSlices), others);
    if (client) add(qText(client->name), rowBytes(*client), "client");
    if (disk.allowanceLeft) add(tr("Still allowed"), *disk.allowanceLeft, "allowance");
    for (QPieSlice* slice : series->slices()) slice->setLabelVisible(false);
    styleChart(m_chart->chart(), palette());
    colourSlices();
}

// The chart's theme gives a pie shades of one colour; projects side by side
// need hues of their own, mid-tone so that they read on light and dark. The
// client's own files are grey, and the room left a pale slice of the text's
// colour: it stands apart from what is used.
void DiskView::colourSlices() {
    static const QColor hues[] = {{0x3d, 0x7e, 0xd6}, {0xe0, 0x7b, 0x12}, {0x3c, 0xa0, 0x4a}, {0x8e, 0x5c, 0xc4},
                                  {0x2a, 0xa1, 0x98}, {0xd9, 0x4a, 0x3f}, {0xc7, 0x5b, 0x9b}, {0xb5, 0x9a, 0x2c},
                                  {0x6b, 0x8e, 0x23}};
    if (!m_value) return;
    const QList<QPieSlice*> slices = pie()->slices();
    const QColor base = palette().color(QPalette::Base);
    QColor pale = palette().color(QPalette::WindowText);
    pale.setAlpha(50);
    for (qsizetype i = 0; i < slices.size(); ++i) {
        const QString kind = slices[i]->property(sliceKind).toString();
        slices[i]->setColor(kind == QLatin1String("allowance") ? pale
                            : kind == QLatin1String("client") ? QColor(0x8c, 0x8c, 0x8c)
                                                             : hues[i % std::size(hues)]);
        slices[i]->setBorderColor(base);
    }
}

void DiskView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        styleChart(m_chart->chart(), palette());
        colourSlices();
    }
}

}  // namespace crunchwatch
