#include "app/alerts_view.hpp"

#include <QAction>
#include <QMenu>
#include <QTableView>
#include <QVBoxLayout>

#include "app/settings.hpp"
#include "app/table_model.hpp"
#include "app/table_view.hpp"

namespace crunchwatch {
namespace {

QString qText(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// A checkable action that shows a setting and writes it when toggled.
template <class Write>
QAction* addChoice(QMenu* menu, const QString& text, const QString& name, bool on, Write write) {
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    action->setCheckable(true);
    action->setChecked(on);
    QObject::connect(action, &QAction::toggled, menu, write);
    return action;
}

}  // namespace

AlertsView::AlertsView(QWidget* parent)
    : QWidget(parent),
      m_model(new ColumnTableModel<const Alert*>(alertsTable, this, indexOf(AlertColumn::severity))),
      m_table(makeTable(m_model, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    setInitialWidths(m_table, {"12/09/26 04:27:02", "Deadline missed", "MM Warning", "World Community Grid",
                               "h1_0412.35_O3aC01Cl1In0__O"});
    layout->addWidget(m_table, 1);
}

void AlertsView::show(const RefreshValuePtr& value) {
    if (!value) return;
    m_model->show(value);
    const int count = m_model->rowCount();
    if (count == m_count) return;
    m_count = count;
    emit countChanged(count);
}

bool AlertsView::select(const std::string& key) {
    const RefreshValuePtr& value = m_model->value();
    if (!value || !value->alerts) return false;
    const std::vector<Alert>& alerts = value->alerts->alerts;
    for (std::size_t i = 0; i < alerts.size(); ++i)
        if (alerts[i].key() == key) return selectSourceRow(m_table, static_cast<int>(i));
    return false;
}

QString AlertsView::title(std::size_t count) {
    return count > 0 ? tr("Alerts (%1)").arg(count) : tr("Alerts");
}

QMenu* makeAlertsMenu(Settings& settings, QWidget* parent) {
    auto* menu = new QMenu(QObject::tr("&Alerts"), parent);
    // Alerts that begin while muted are kept as told: turning it off replays none.
    addChoice(menu, QObject::tr("&Do not disturb"), QStringLiteral("doNotDisturb"), settings.doNotDisturb(),
              [&settings](bool on) { settings.setDoNotDisturb(on); });
    addChoice(menu, QObject::tr("&Keep running in the tray when the window is closed"), QStringLiteral("keepInTray"),
              settings.keepInTray(), [&settings](bool on) { settings.setKeepInTray(on); });
    menu->addSeparator();
    for (std::size_t i = 0; i < alertRuleCount; ++i) {
        const auto rule = static_cast<AlertRule>(i);
        addChoice(menu, QObject::tr("Notify: %1").arg(qText(ruleTitle(rule))),
                  QStringLiteral("notify ") + qText(ruleId(rule)), settings.notifyRule(rule),
                  [&settings, rule](bool on) { settings.setNotifyRule(rule, on); });
    }
    return menu;
}

}  // namespace crunchwatch
