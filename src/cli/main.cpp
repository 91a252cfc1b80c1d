// kelmar-cli: Kelmar's batch operations for scripts and for collections too large to click
// through. Same core, same settings store as the window.
#include "archive/ZipComponent.h"
#include "cli/CliHost.h"
#include "maintenance/TestZips.h"
#include "settings/SettingsStore.h"

#include <QCollator>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTextStream>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace kelmar;

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void onInterrupt(int)
{
    g_interrupted.store(true);
    // A second Ctrl+C ends the program at once.
    std::signal(SIGINT, SIG_DFL);
}

constexpr int kExitGood = 0;
constexpr int kExitBad = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNotTested = 3;

const char* kHelp = R"HELP(Usage: kelmar-cli [--settings FILE] COMMAND [OPTIONS] PATH...

Kelmar's batch operations from the command line, over the same code and the same
settings as the Kelmar window.

Commands:
  test      Test zip archives: read every entry in full and check its CRC (and AES
            authentication) and the archive's structure. A damaged archive is logged
            as "NAME is bad!" with a second line giving the reason, and renamed to
            NAME.bad (unless that name exists). An archive that cannot be judged here
            (encrypted without the right password, or compressed with a method this
            build cannot read: Deflate64, LZMA, XZ, Zstandard, PPMd) is logged as
            "NAME could not be tested (reason)" and keeps its name.
  help      Show this text.

Arguments of test:
  PATH      An archive, or a folder meaning every file in it whose name ends in
            ".zip" (in any case; hidden files and subfolders are not searched).

Options of test:
  --json          Print one JSON document on stdout instead of the log lines:
                  {"archives":[{"path","verdict":"good"|"bad"|"not-tested",
                  "code","reason","renamedTo"}...],"good":n,"bad":n,"notTested":n,
                  "stopped":true|false}
  --password PW   Decrypt with PW (overrides the saved unzip password).
  --no-password   Use no password even if one is saved.

Global options:
  --settings FILE  Read options from this INI file instead of the user's settings
                   (~/.config/kelmar/kelmar.ini, or under $XDG_CONFIG_HOME).
  -h, --help       Show this text.

Options not given on the command line come from the saved settings: test uses
the "UnZIP Settings" password when its box is ticked there.

Output: log lines on stdout; a progress line on stderr when stderr is a
terminal; messages on stderr. Ctrl+C stops after the archive being tested.

Result codes of the archive component (shown in reasons and in "code"):
  0 ok, 1 file not found, 2 not a zip archive, 3 damaged data or CRC error,
  4 wrong or missing password, 5 unsupported method, 6 read error,
  7 write error, 8 disk full, 9 unsafe entry refused, 10 archive would be
  left empty, 190 stopped.

Exit status:
  0  every archive tested is good
  1  at least one archive is bad
  2  usage error (unknown option, missing or unreadable PATH)
  3  none is bad, but some could not be tested (or the run was stopped)
)HELP";

struct Group
{
    QString folder;
    QStringList names;
};

QString verdictText(TestZipsReport::Verdict v)
{
    switch (v) {
    case TestZipsReport::Verdict::Good:
        return QStringLiteral("good");
    case TestZipsReport::Verdict::Bad:
        return QStringLiteral("bad");
    default:
        return QStringLiteral("not-tested");
    }
}

// Archives of a folder, in the order the window's file list shows them.
QStringList archivesIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files, QDir::NoSort);
    QStringList result;
    for (const QString& n : names) {
        if (n.right(4).toLower() == u".zip")
            result.append(n);
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(false);
    std::sort(result.begin(), result.end(),
              [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    return result;
}

int usage(QTextStream& err, const QString& message)
{
    err << "kelmar-cli: " << message << "\nTry 'kelmar-cli --help'.\n";
    err.flush();
    return kExitUsage;
}

int runTest(const QStringList& args, const Options& saved, QTextStream& out, QTextStream& err)
{
    Options options = saved;
    bool json = false;
    QStringList paths;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == u"--json") {
            json = true;
        } else if (a == u"--password" || a.startsWith(u"--password=")) {
            QString value;
            if (a.startsWith(u"--password=")) {
                value = a.mid(11);
            } else if (i + 1 < args.size()) {
                value = args.at(++i);
            } else {
                return usage(err, QStringLiteral("--password needs a value"));
            }
            options.chkUnzipPassword = 1;
            options.txtUnzipPassword = value;
        } else if (a == u"--no-password") {
            options.chkUnzipPassword = 0;
        } else if (a == u"--") {
            paths += args.mid(i + 1);
            break;
        } else if (a.startsWith(u'-') && a.size() > 1) {
            return usage(err, QStringLiteral("unknown option '%1' for test").arg(a));
        } else {
            paths.append(a);
        }
    }
    if (paths.isEmpty())
        return usage(err, QStringLiteral("test needs at least one archive or folder"));

    // One group per folder, in the order the arguments name them.
    std::vector<Group> groups;
    auto groupFor = [&](const QString& folder) -> Group& {
        for (Group& g : groups) {
            if (g.folder == folder)
                return g;
        }
        groups.push_back({folder, {}});
        return groups.back();
    };
    for (const QString& p : paths) {
        const QFileInfo info(p);
        if (info.isDir()) {
            Group& g = groupFor(QDir::cleanPath(info.absoluteFilePath()));
            for (const QString& n : archivesIn(info.absoluteFilePath())) {
                if (!g.names.contains(n))
                    g.names.append(n);
            }
        } else if (info.isFile()) {
            if (info.fileName().right(4).toLower() != u".zip")
                return usage(err, QStringLiteral("'%1' is not a .zip file").arg(p));
            Group& g = groupFor(info.absolutePath());
            if (!g.names.contains(info.fileName()))
                g.names.append(info.fileName());
        } else {
            return usage(err, QStringLiteral("'%1' does not exist").arg(p));
        }
    }
    int total = 0;
    for (const Group& g : groups)
        total += int(g.names.size());

    const bool progress = ::isatty(STDERR_FILENO) != 0;
    std::signal(SIGINT, onInterrupt);
    cli::CliHost host(options, g_interrupted, out, err, !json);
    ZipComponent zip;
    TestZipsReport all;
    int done = 0;
    for (const Group& g : groups) {
        if (g_interrupted.load()) {
            all.stopped = true;
            break;
        }
        if (g.names.isEmpty()) {
            err << "kelmar-cli: no .zip files in " << g.folder << '\n';
            err.flush();
            continue;
        }
        host.setFiles(g.folder, g.names);
        const TestZipsReport report = test_zip_files(host, zip, [&](int, int, const QString& path) {
            ++done;
            if (progress) {
                QString name = QFileInfo(path).fileName();
                if (name.size() > 40)
                    name = name.left(37) + QStringLiteral("...");
                const int filled = total > 0 ? (done - 1) * 20 / total : 0;
                err << "\r\033[K[" << QString(filled, u'#') << QString(20 - filled, u'.')
                    << "] " << done << '/' << total << ' ' << name;
                err.flush();
            }
        });
        all.archives.insert(all.archives.end(), report.archives.begin(), report.archives.end());
        all.stopped = all.stopped || report.stopped;
    }
    if (progress) {
        err << "\r\033[K";
        err.flush();
    }
    all.stopped = all.stopped || (g_interrupted.load() && int(all.archives.size()) < total);

    const int bad = all.count(TestZipsReport::Verdict::Bad);
    const int notTested = all.count(TestZipsReport::Verdict::NotTested);
    const int good = all.count(TestZipsReport::Verdict::Good);
    if (json) {
        QJsonArray list;
        for (const auto& a : all.archives) {
            QJsonObject o;
            o.insert(QStringLiteral("path"), a.path);
            o.insert(QStringLiteral("verdict"), verdictText(a.verdict));
            o.insert(QStringLiteral("code"), a.result);
            o.insert(QStringLiteral("reason"), a.reason);
            o.insert(QStringLiteral("renamedTo"), a.renamedTo);
            list.append(o);
        }
        QJsonObject doc;
        doc.insert(QStringLiteral("archives"), list);
        doc.insert(QStringLiteral("good"), good);
        doc.insert(QStringLiteral("bad"), bad);
        doc.insert(QStringLiteral("notTested"), notTested);
        doc.insert(QStringLiteral("stopped"), all.stopped);
        out << QJsonDocument(doc).toJson(QJsonDocument::Indented);
        out.flush();
    }
    if (!json || progress) {
        err << "Tested " << all.archives.size() << " of " << total << " archives: " << good
            << " good, " << bad << " bad, " << notTested << " not tested"
            << (all.stopped ? " (stopped)" : "") << '\n';
        err.flush();
    }
    if (bad > 0)
        return kExitBad;
    if (notTested > 0 || all.stopped)
        return kExitNotTested;
    return kExitGood;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelmar"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QStringList args = app.arguments().mid(1);
    QString settingsFile;
    while (!args.isEmpty() && args.first().startsWith(u'-')) {
        const QString a = args.takeFirst();
        if (a == u"-h" || a == u"--help") {
            out << kHelp;
            return kExitGood;
        }
        if (a == u"--settings") {
            if (args.isEmpty())
                return usage(err, QStringLiteral("--settings needs a file"));
            settingsFile = args.takeFirst();
        } else if (a.startsWith(u"--settings=")) {
            settingsFile = a.mid(11);
        } else {
            return usage(err, QStringLiteral("unknown option '%1'").arg(a));
        }
    }
    if (args.isEmpty())
        return usage(err, QStringLiteral("no command given"));
    const QString command = args.takeFirst();
    if (command == u"help" || args.contains(QStringLiteral("--help")) ||
        args.contains(QStringLiteral("-h"))) {
        out << kHelp;
        return kExitGood;
    }
    if (!settingsFile.isEmpty() && !QFileInfo(settingsFile).isFile())
        return usage(err, QStringLiteral("settings file '%1' does not exist").arg(settingsFile));
    const auto settings = settingsFile.isEmpty() ? SettingsStore::openUserSettings()
                                                 : SettingsStore::openSettingsFile(settingsFile);
    const Options saved = SettingsStore::loadOptions(*settings);

    if (command == u"test")
        return runTest(args, saved, out, err);
    return usage(err, QStringLiteral("unknown command '%1'").arg(command));
}
