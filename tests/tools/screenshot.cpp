// Pictures of the window for the README: the window on a state file, one tab
// chosen, in the Fusion style with a light or a dark palette, saved as PNG
// once the first refresh has been drawn. With DETAILS_ROW, the task details
// panel is opened on that row of the results table, or, on the Notices tab,
// that notice is read, or, on the Computer tab, the lines from that one on
// are in sight. Run under xvfb-run (or offscreen).
//
//   crunchwatch-screenshot STATE_FILE OUT.png [light|dark] [TAB] [WIDTHxHEIGHT] [DETAILS_ROW]

#include <cstdio>

#include <QAbstractItemModel>
#include <QApplication>
#include <QPalette>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include "app/computer_view.hpp"
#include "app/main_window.hpp"
#include "app/notices_view.hpp"
#include "app/settings.hpp"
#include "app/task_details_panel.hpp"

namespace {

QPalette darkPalette() {
    QPalette p;
    const QColor window(0x2b, 0x2b, 0x2b), base(0x1e, 0x1e, 0x1e), text(0xe6, 0xe6, 0xe6);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x26));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, QColor(0x90, 0x90, 0x90));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: crunchwatch-screenshot STATE_FILE OUT.png [light|dark] [TAB] [WIDTHxHEIGHT] "
                             "[DETAILS_ROW]\n");
        return 2;
    }
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (argc > 3 && QString::fromLocal8Bit(argv[3]) == QStringLiteral("dark")) QApplication::setPalette(darkPalette());
    const int tab = argc > 4 ? QString::fromLocal8Bit(argv[4]).toInt() : 0;
    int width = 1180, height = 720;
    if (argc > 5) {
        const QStringList size = QString::fromLocal8Bit(argv[5]).split(QLatin1Char('x'));
        if (size.size() == 2) width = size[0].toInt(), height = size[1].toInt();
    }
    QTemporaryDir settingsDir;  // the user's own settings are neither read nor changed
    crunchwatch::Settings settings(settingsDir.filePath(QStringLiteral("settings.ini")));
    crunchwatch::MainWindow window(settings);
    window.resize(width, height);
    window.tabs()->setCurrentIndex(tab);
    window.show();
    window.start(QString::fromLocal8Bit(argv[1]));
    const QString out = QString::fromLocal8Bit(argv[2]);
    if (argc > 6) {
        const int row = QString::fromLocal8Bit(argv[6]).toInt();
        QTimer::singleShot(1000, &app, [&window, row] {
            if (window.tabs()->currentWidget() == window.noticesView()) {
                QTableView* notices = window.noticesView()->table();
                notices->setCurrentIndex(notices->model()->index(row, 0));
                return;
            }
            if (window.tabs()->currentWidget() == window.computerView()) {
                QTableView* lines = window.computerView()->table();
                lines->scrollTo(lines->model()->index(row, 0), QAbstractItemView::PositionAtTop);
                return;
            }
            QTableView* results = window.resultsView();
            results->setCurrentIndex(results->model()->index(row, 0));
            window.detailsPanel()->openOnCurrentRow();
        });
    }
    QTimer::singleShot(1500, &app, [&] {
        const bool saved = window.grab().save(out);
        QApplication::exit(saved ? 0 : 1);
    });
    return QApplication::exec();
}
