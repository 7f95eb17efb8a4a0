#pragma once
// The task details panel: everything the state file says about one task
// (tables/task_details.hpp). It is a dock beside the tables rather than a
// window of its own: it never covers the rows it describes, goes with the
// main window, and can still be floated off by the user. Double-click or
// Enter on a result (or its context menu) opens it; while it is open it
// follows the results table's current row, and at each refresh it finds its
// task again in the new value by project and name. A task that is no longer
// in the file is said to be gone rather than shown as it was. The text can be
// selected, and Copy puts all of it on the clipboard as "label: value" lines.

#include <cstddef>
#include <string>

#include <QDockWidget>

#include "tables/refresh_value.hpp"

class QPushButton;
class QTableView;
class QTextBrowser;

namespace crunchwatch {

class TaskDetailsPanel final : public QDockWidget {
    Q_OBJECT
public:
    // `results`: the results table whose rows it describes.
    TaskDetailsPanel(QTableView* results, QWidget* parent);

    // Opens the panel on the results table's current row.
    void openOnCurrentRow();
    // A refresh's value: the task shown, found again in it.
    void refreshFrom(const crunchwatch::RefreshValuePtr& value);

    // What Copy puts on the clipboard: the lines shown, as plain text.
    const QString& plainText() const { return m_plain; }
    QTextBrowser* textView() const { return m_text; }
    QPushButton* copyButton() const { return m_copy; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void followRow(int proxyRow);
    void render();

    QTableView* m_results;
    QTextBrowser* m_text;
    QPushButton* m_copy;
    RefreshValuePtr m_value;
    bool m_hasTask = false;     // whether a task was chosen
    std::string m_url, m_name;  // the task shown: its project's master URL and its name
    std::size_t m_lastRow = 0;  // where it was last found, looked at first
    bool m_stale = false;       // a value came while the panel was closed
    bool m_sized = false;       // given its first width
    QString m_plain;
    QString m_html;                           // what the text view shows
    std::string m_renderedUrl, m_renderedName;  // whose it is
};

}  // namespace crunchwatch
