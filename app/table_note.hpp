#pragma once
// A paragraph shown in a table's empty area, below its last row: where the
// window explains why there is nothing (more) to show. It is a label laid on
// the view's viewport and moved whenever the rows or the viewport change, so
// it never covers a row; without room below the rows it stays out of sight.

#include <QLabel>

class QTableView;

namespace crunchwatch {

class TableNote final : public QLabel {
    Q_OBJECT

public:
    explicit TableNote(QTableView* view);

    // Shows `text` (plain text, wrapped) in place of any reason; an empty
    // text removes it.
    void setNote(const QString& text);
    // Why the table is empty, shown while no note is set; empty when it is not.
    void setReason(const QString& text);
    // What the note shows: the note set, else the reason.
    const QString& note() const { return m_note.isEmpty() ? m_reason : m_note; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();

    QTableView* m_view;
    QString m_note;
    QString m_reason;
};

}  // namespace crunchwatch
