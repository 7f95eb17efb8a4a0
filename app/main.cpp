// crunchwatch: the window. Qt's own options go to Qt; the one argument left,
// if any, is the state file to show for this run.

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include "app/main_window.hpp"
#include "app/settings.hpp"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("crunchwatch"));
    QApplication::setApplicationName(QStringLiteral("crunchwatch"));
    QApplication::setApplicationVersion(QStringLiteral(CRUNCHWATCH_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("crunchwatch"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/crunchwatch.svg")));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows what a BOINC client is working on, from its state file."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("STATE_FILE"),
                                 QStringLiteral("client_state.xml to show for this run (not remembered)"));
    parser.process(app);

    std::optional<QString> path;
    if (!parser.positionalArguments().isEmpty()) {
        // The preferences file is found beside the state file: that needs a full path.
        path = QFileInfo(parser.positionalArguments().first()).absoluteFilePath();
    }
    crunchwatch::Settings settings;
    crunchwatch::MainWindow window(settings);
    window.start(path);
    return QApplication::exec();
}
