#include "Version.h"
#include "shell/frmKelmar.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QTextStream>
#include <QUrl>

#include <csignal>

namespace {

// The folder to open for a PATH argument: a folder itself, a file's folder. Empty (with a
// message) when there is no such file, so the window falls back to the last folder: a stale
// "Open with" entry must not stop the program from starting.
QString startFolderFor(const QString& argument)
{
    // File managers pass a path for %f, but a URL typed or dropped on a launcher is no reason
    // to fail.
    const QString path =
        argument.startsWith(QLatin1String("file:")) ? QUrl(argument).toLocalFile() : argument;
    const QFileInfo info(path);
    if (info.isDir())
        return QDir::cleanPath(info.absoluteFilePath());
    if (info.exists())
        return QDir::cleanPath(info.absolutePath());
    QTextStream(stderr) << "kelmar: '" << argument << "' does not exist\n";
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    // A file-size limit (ulimit -f) would kill the program mid-write and leave a temporary
    // file behind; ignored, the write fails with EFBIG and that archive fails as on a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kelmar"));
    QApplication::setApplicationVersion(QStringLiteral(KELMAR_VERSION));
    // Ties the window to kelmar.desktop, so a Wayland shell shows the menu entry's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("kelmar"));
    // The theme's icon once installed; the built-in copy when run from the build folder.
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("kelmar"), QIcon(QStringLiteral(":/kelmar.svg"))));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Kelmar keeps collections of ROM files in zip archives tidy."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("PATH"),
        QStringLiteral("Open the window at this folder, or at the folder of this file."),
        QStringLiteral("[PATH]"));
    // Usage errors exit with 2, as kelmar-cli's do.
    if (!parser.parse(QApplication::arguments())) {
        QTextStream(stderr) << "kelmar: " << parser.errorText() << "\nTry 'kelmar --help'.\n";
        return 2;
    }
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();
    const QStringList paths = parser.positionalArguments();
    if (paths.size() > 1) {
        QTextStream(stderr) << "kelmar: give one folder or file\nTry 'kelmar --help'.\n";
        return 2;
    }

    frmKelmar window(paths.isEmpty() ? QString() : startFolderFor(paths.first()));
    if (!window.loaded())
        return 1;
    window.showInStoredState();
    return app.exec();
}
