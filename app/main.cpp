// crunchwatch: the window. Qt's own options go to Qt; --journal-file names
// a journal file to read the client's event log from; the one argument
// left, if any, is the state file to show for this run.

#include <cstdio>
#include <memory>
#include <string_view>

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTabWidget>
#include <QTableView>

#include "app/alert_notifier.hpp"
#include "app/main_controller.hpp"
#include "app/main_window.hpp"
#include "app/alerts_view.hpp"
#include "app/settings.hpp"
#include "app/table_view.hpp"
#include "app/tray_icon.hpp"
#include "state/paths.hpp"

namespace {

void describe(QCoreApplication& app, QCommandLineParser& parser) {
    QCoreApplication::setOrganizationName(QStringLiteral("crunchwatch"));
    QCoreApplication::setApplicationName(QStringLiteral("crunchwatch"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CRUNCHWATCH_VERSION));
    parser.setApplicationDescription(QStringLiteral("Shows what a BOINC client is working on, from its state file."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(QStringLiteral("journal-file"),
                                        QStringLiteral("Read the client's event log from this systemd journal file "
                                                       "instead of the system's journal"),
                                        QStringLiteral("FILE")));
    parser.addPositionalArgument(QStringLiteral("STATE_FILE"),
                                 QStringLiteral("client_state.xml to show for this run (not remembered)"));
    parser.process(app);
}

// With CRUNCHWATCH_TRAY_TRACE set (the desktop test), what the window shows
// after a notification was clicked: the tab, and the selected alert's and
// task's rows as copied.
void traceShown(const crunchwatch::MainWindow& window) {
    if (!qEnvironmentVariableIsSet("CRUNCHWATCH_TRAY_TRACE")) return;
    const auto row = [](const QTableView* view) { return crunchwatch::selectedRowsText(view).trimmed().toUtf8(); };
    std::fprintf(stderr, "crunchwatch shown: %s%s · alert: %s · task: %s\n",
                 window.tabs()->tabText(window.tabs()->currentIndex()).toUtf8().constData(),
                 window.isVisible() ? "" : " (hidden)", row(window.alertsView()->table()).constData(),
                 row(window.resultsView()).constData());
    std::fflush(stderr);
}

bool asksForTextOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--help" || a == "-h" || a == "--help-all" || a == "--version" || a == "-v") return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // --help and --version answer without a display.
    if (asksForTextOnly(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCommandLineParser parser;
        describe(app, parser);  // prints and exits
        return 0;
    }

    QApplication app(argc, argv);
    QCommandLineParser parser;
    describe(app, parser);
    QApplication::setDesktopFileName(QStringLiteral("org.crunchwatch.crunchwatch"));

    std::optional<QString> path;
    if (!parser.positionalArguments().isEmpty()) {
        // A directory given is the client's data directory: its state file is
        // meant. The preferences file is found beside the state file, which
        // needs a full path.
        const std::string named = crunchwatch::stateFileOfArgument(parser.positionalArguments().first().toStdString());
        path = QFileInfo(QString::fromStdString(named)).absoluteFilePath();
    }
    std::optional<QString> journalFile;
    if (parser.isSet(QStringLiteral("journal-file")))
        journalFile = QFileInfo(parser.value(QStringLiteral("journal-file"))).absoluteFilePath();
    crunchwatch::Settings settings;
    crunchwatch::MainWindow window(settings);
    // The desktop is told of alerts and shown the tray from the first value
    // on; what was told before is read before that value comes.
    crunchwatch::mainController& controller = window.controller();
    crunchwatch::AlertNotifier notifier(settings, crunchwatch::AlertLedger::defaultFile());
    crunchwatch::TrayIcon tray(window, settings);
    QObject::connect(&controller, &crunchwatch::mainController::valueChanged, &notifier,
                     &crunchwatch::AlertNotifier::take);
    QObject::connect(&controller, &crunchwatch::mainController::valueChanged, &tray, &crunchwatch::TrayIcon::show);
    QObject::connect(&tray, &crunchwatch::TrayIcon::updateAsked, &controller, &crunchwatch::mainController::Update);
    QObject::connect(&notifier, &crunchwatch::AlertNotifier::opened, &window, [&window](const crunchwatch::Alert& a) {
        window.showAlert(a);
        traceShown(window);
    });
    window.start(path, journalFile);
    return QApplication::exec();
}
