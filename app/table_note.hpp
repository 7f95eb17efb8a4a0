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

    // Shows `text` (plain text, wrapped); an empty text removes the note.
    void setNote(const QString& text);
    const QString& note() const { return m_note; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();

    QTableView* m_view;
    QString m_note;
};

}  // namespace crunchwatch
