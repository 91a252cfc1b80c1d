// SPDX-License-Identifier: GPL-3.0-or-later
#include "Version.h"
#include "shell/frmKelmar.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QSocketNotifier>
#include <QTextStream>
#include <QUrl>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_closeRequests[2] = {-1, -1};

extern "C" void onCloseRequest(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_closeRequests[1], &c, 1);
}

// SIGTERM (a logout, a shutdown, `kill`) and SIGHUP close the window as its close button does:
// a running batch is stopped first, and leaves no temporary file behind.
void closeOnTermination(QWidget& window)
{
    if (::pipe2(g_closeRequests, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_closeRequests[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char c;
        while (::read(g_closeRequests[0], &c, 1) > 0) {
        }
        window.close();
    });
    struct sigaction action = {};
    action.sa_handler = onCloseRequest;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

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

void describeArguments(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Kelmar keeps collections of ROM files in zip archives tidy."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("PATH"),
        QStringLiteral("Open the window at this folder, or at the folder of this file."),
        QStringLiteral("[PATH]"));
}

// --help and --version are answered before the window's platform starts: a shell without a
// display (ssh, a package's post-install check) must get them, not an abort for want of X.
// Everything else, Qt's own options included, goes to the parser after QApplication.
bool answeredWithoutDisplay(int argc, char** argv, int* status)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    bool help = false;
    bool version = false;
    for (int i = 1; i < arguments.size() && arguments[i] != QLatin1String("--"); ++i) {
        const QString& a = arguments[i];
        help = help || a == QLatin1String("-h") || a == QLatin1String("--help") ||
               a == QLatin1String("-?") || a == QLatin1String("--help-all");
        version = version || a == QLatin1String("-v") || a == QLatin1String("--version");
    }
    if (!help && !version)
        return false;
    QTextStream out(stdout);
    if (help) {
        QCommandLineParser parser;
        describeArguments(parser);
        QString text = parser.helpText();
        // Without an application object the parser cannot know the program's name.
        text.replace(QLatin1String("<executable_name>"), arguments.first());
        out << text;
    } else {
        out << "kelmar " KELMAR_VERSION "\n";
    }
    out.flush();
    *status = 0;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // A file-size limit (ulimit -f) would kill the program mid-write and leave a temporary
    // file behind; ignored, the write fails with EFBIG and that archive fails as on a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication::setApplicationName(QStringLiteral("kelmar"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELMAR_VERSION));
    if (int status = 0; answeredWithoutDisplay(argc, argv, &status))
        return status;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kelmar"));
    QApplication::setApplicationVersion(QStringLiteral(KELMAR_VERSION));
    // Ties the window to kelmar.desktop, so a Wayland shell shows the menu entry's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("kelmar"));
    // The theme's icon once installed; the built-in copy when run from the build folder.
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("kelmar"), QIcon(QStringLiteral(":/kelmar.svg"))));

    QCommandLineParser parser;
    describeArguments(parser);
    // Usage errors exit with 2, as kelmar-cli's do.
    if (!parser.parse(QApplication::arguments())) {
        QTextStream(stderr) << "kelmar: " << parser.errorText() << "\nTry 'kelmar --help'.\n";
        return 2;
    }
    // Reached only in forms the early look does not take apart ("-hv").
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    const QStringList paths = parser.positionalArguments();
    if (paths.size() > 1) {
        QTextStream(stderr) << "kelmar: give one folder or file\nTry 'kelmar --help'.\n";
        return 2;
    }

    frmKelmar window(paths.isEmpty() ? QString() : startFolderFor(paths.first()));
    if (!window.loaded())
        return 1;
    closeOnTermination(window);
    window.showInStoredState();
    return app.exec();
}
