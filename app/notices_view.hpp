#pragma once
// The Notices tab: what the projects tell the user, newest first (the news
// of their feeds, and their schedulers' last messages under the project's
// name): title, project, date and category, with a project filter and a
// search box over the titles. The pane below reads the selected one: a
// notice's description as rich text rebuilt from its harmless part, a
// message as plain text. That pane loads nothing (no picture, no style
// sheet, no remote resource); a link opens in the user's browser when it is
// clicked, and only an http, https or mailto one. A notice is unread (bold)
// until it has been shown there; the notices read are kept in the settings,
// and the tab's title counts the unread ones.

#include <vector>

#include <QList>
#include <QSet>
#include <QStringList>
#include <QTextBrowser>
#include <QUrl>
#include <QWidget>

#include "tables/refresh_value.hpp"

class QTableView;

namespace crunchwatch {

class FilterBar;
class Settings;
class TableModel;

// A text browser that fetches nothing: every resource a document asks for
// (an image, a style sheet, anything by URL) is empty.
class NoticeBrowser final : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;
    QVariant loadResource(int type, const QUrl& name) override;
    // What documents asked for since the pane was built.
    const QList<QUrl>& resourcesAsked() const { return m_asked; }

private:
    QList<QUrl> m_asked;
};

class NoticesView final : public QWidget {
    Q_OBJECT
public:
    explicit NoticesView(Settings& settings, QWidget* parent = nullptr);

    // Shows a refresh's notices and messages.
    void show(const crunchwatch::RefreshValuePtr& value);
    int unreadCount() const { return m_unreadCount; }
    // Whether a link of a notice opens when clicked: http, https, mailto.
    static bool opensExternally(const QUrl& url);

    TableModel* model() const { return m_model; }
    QTableView* table() const { return m_table; }
    FilterBar* filter() const { return m_filter; }
    NoticeBrowser* reader() const { return m_reader; }

signals:
    void unreadChanged(int count);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showCurrent();
    void markRead(int sourceRow);
    void countUnread();
    bool unread(int proxyRow) const;

    Settings& m_settings;
    TableModel* m_model;
    QTableView* m_table;
    FilterBar* m_filter;
    NoticeBrowser* m_reader;
    QStringList m_read;             // the keys of the notices read, oldest first
    QSet<QString> m_readSet;
    std::vector<QString> m_keys;    // by the model's row
    std::vector<bool> m_unread;     // by the model's row
    int m_unreadCount = 0;
};

}  // namespace crunchwatch
