// SPDX-License-Identifier: GPL-3.0-or-later
// kelmar-cli under the things that happen to a real process: signals, a reader that goes away,
// a PATH that is gone, a file changed under it, leftovers of a killed run.
#include "common/Tools.h"
#include "fs/NativeName.h"
#include "maintenance/CliRun.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <unistd.h>

using namespace kelmar::test;

namespace {

QByteArray native(const QString& path)
{
    return kelmar::fs::nativeName(path);
}

// Watches path (a folder, or a file) from before the process starts, so no event is missed.
class Watch
{
public:
    Watch(const QString& path, uint32_t mask) : m_fd(::inotify_init1(IN_CLOEXEC))
    {
        ::inotify_add_watch(m_fd, native(path).constData(), mask);
    }
    ~Watch() { ::close(m_fd); }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

    // Waits for an event on a name that `wanted` accepts (an event on the watched file itself
    // has an empty name), then freezes the process with SIGSTOP: what the test does next
    // happens at exactly that point of its work. The minute is a guard against a hang only.
    bool stopAt(qint64 pid, const std::function<bool(const QByteArray&)>& wanted)
    {
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 60000) <= 0)
                return false;
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                const QByteArray name = e->len > 0 ? QByteArray(e->name) : QByteArray();
                if (wanted(name)) {
                    ::kill(pid_t(pid), SIGSTOP);
                    return true;
                }
                at += ssize_t(sizeof(inotify_event) + e->len);
            }
        }
    }

private:
    int m_fd;
};

bool isTemp(const QByteArray& name)
{
    return name.startsWith(".kelmar-");
}

QStringList tempsIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList({QStringLiteral(".kelmar-*")},
                                               QDir::AllEntries | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

void zipInto(const QString& archive, const QString& name, const QByteArray& content)
{
    QTemporaryDir work;
    writeFile(work.filePath(name), content);
    ASSERT_EQ(runTool(QStringLiteral("zip"), {QStringLiteral("-q0"), archive, name}, work.path())
                  .exitCode,
              0);
}

} // namespace

TEST(CliInterrupts, TermHupAndCtrlCStopARebuildCleanlyWithStatus3)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(::strsignal(signal));
        QTemporaryDir home, dir;
        zipInto(dir.filePath("a.zip"), "big.rom", noiseBytes(4 << 20, 1));
        zipInto(dir.filePath("b.zip"), "small.rom", textBytes(5000, 2));
        const QByteArray second = readFile(dir.filePath("b.zip"));
        Watch watch(dir.path(), IN_CREATE);
        QProcess process;
        startCli(process, {"--jobs", "1", "rezip", "--level", "9", dir.path()}, home.path());
        // The first archive's temporary file is there: the signal comes in the middle of it.
        ASSERT_TRUE(watch.stopAt(process.processId(), isTemp));
        ::kill(pid_t(process.processId()), signal);
        ::kill(pid_t(process.processId()), SIGCONT);
        const CliRun run = finishCli(process);
        EXPECT_EQ(run.exitCode, 3) << run.err;
        EXPECT_TRUE(run.err.contains("(stopped)")) << run.err;
        EXPECT_EQ(tempsIn(dir.path()), QStringList());
        EXPECT_EQ(runTool(QStringLiteral("unzip"), {"-tq", dir.filePath("a.zip")}).exitCode, 0);
        EXPECT_EQ(readFile(dir.filePath("b.zip")), second); // never started
    }
}

TEST(CliInterrupts, ARebuildClearsWhatAKilledRunLeftAndNothingElse)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    QTemporaryDir home, dir, outside;
    // Larger than what is deflated ahead in memory: libzip deflates it while it writes.
    zipInto(dir.filePath("a.zip"), "big.rom", noiseBytes(40 << 20, 3));
    // kill -9 while libzip writes the new copy: the claim, its work file and libzip's own
    // temporary file stay behind.
    {
        Watch watch(dir.path(), IN_CREATE);
        QProcess process;
        startCli(process, {"rezip", "--level", "1", dir.path()}, home.path());
        ASSERT_TRUE(watch.stopAt(process.processId(), [](const QByteArray& name) {
            return isTemp(name) && name.count('.') == 3; // ".kelmar-XXXXXX.new.XXXXXX"
        }));
        ::kill(pid_t(process.processId()), SIGKILL);
        finishCli(process);
    }
    ASSERT_EQ(tempsIn(dir.path()).size(), 3) << tempsIn(dir.path()).join(u' ');

    struct Planted
    {
        const char* name;
        bool removed;
    };
    const std::vector<Planted> planted = {
        {".kelmar-Ab12Cd", true},            // an extraction's or a claim's leftover
        {".kelmar-Ab12Cd.new", true},        // its work file
        {".kelmar-Orphan.new.x9Y8z7", true}, // libzip's file of a claim that is gone
        {".kelmar-Held01", false},           // locked: another Kelmar is at work
        {".kelmar-Held01.new", false},
        {".kelmar-ab", false}, // names Kelmar never makes
        {".kelmar-Ab12Cd7", false},
        {".kelmar-Ab_2Cd", false},
        {".kelmar-Ab12Cd.txt", false},
        {".kelmar-Ab12Cd.new.x9Y8", false},
        {"kelmar-Ab12Cd", false},
    };
    for (const Planted& p : planted)
        writeFile(dir.filePath(p.name), "left");
    const int held = ::open(native(dir.filePath(".kelmar-Held01")).constData(), O_RDWR);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    writeFile(outside.filePath("target.rom"), "not ours");
    ASSERT_TRUE(QFile::link(outside.filePath("target.rom"), dir.filePath(".kelmar-Link01")));
    ASSERT_TRUE(QDir(dir.path()).mkdir(".kelmar-Dir001"));

    const CliRun run = cli({"rezip", dir.path()}, home.path());
    ::close(held);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    QStringList expected = {".kelmar-Dir001", ".kelmar-Link01"};
    for (const Planted& p : planted) {
        if (!p.removed && QByteArray(p.name).startsWith(".kelmar-"))
            expected.append(p.name);
    }
    expected.sort();
    EXPECT_EQ(tempsIn(dir.path()), expected);
    EXPECT_TRUE(QFile::exists(dir.filePath("kelmar-Ab12Cd")));
    EXPECT_EQ(readFile(outside.filePath("target.rom")), "not ours");
    EXPECT_EQ(runTool(QStringLiteral("unzip"), {"-tq", dir.filePath("a.zip")}).exitCode, 0);
}

TEST(CliInterrupts, AClosedStdoutNeitherKillsNorHalvesTheBatch)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir home, dir;
    for (int i = 0; i < 5; ++i) {
        const QString archive = dir.filePath(QStringLiteral("bad%1.zip").arg(i));
        zipInto(archive, "rom.nes", textBytes(20000, quint32(i)));
        QByteArray bytes = readFile(archive);
        bytes[bytes.size() / 3] = char(bytes[bytes.size() / 3] ^ 0x5A);
        writeFile(archive, bytes);
    }
    // Stdout is a pipe whose reader is gone before the first line: every write meets EPIPE.
    QProcess python;
    python.setProcessEnvironment(cliEnvironment(home.path()));
    python.start(QStringLiteral("python3"),
                 {"-c",
                  "import os, subprocess, sys\n"
                  "r, w = os.pipe(); os.close(r)\n"
                  "sys.exit(subprocess.run(sys.argv[1:], stdout=w).returncode)",
                  KELMAR_CLI, "--jobs", "1", "test", dir.path()});
    ASSERT_TRUE(python.waitForFinished(-1));
    EXPECT_EQ(python.exitCode(), 1) << python.readAllStandardError().constData();
    EXPECT_EQ(QDir(dir.path()).entryList({"*.bad"}, QDir::Files).size(), 5);
}

TEST(CliInterrupts, APathThatIsGoneIsReportedAndTheRestIsDone)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    struct Case
    {
        const char* command;
        QStringList flags;
        bool archives; // the PATHs are archives, not files
        std::function<bool(const QString& dir, const CliRun&)> secondDone;
    };
    auto exists = [](const char* name) {
        return [name](const QString& d, const CliRun&) { return QFile::exists(d + "/" + name); };
    };
    auto said = [](const char* text) {
        return [text](const QString&, const CliRun& r) { return (r.out + r.err).contains(text); };
    };
    const std::vector<Case> cases = {
        {"test", {}, true, said("b.zip is bad!")},
        {"unzip", {"--to", "OUT"}, true, exists("out/b.txt")},
        {"space", {}, true, said("in 2 files")},
        {"rezip", {}, true, said("Rezipped 2 of 2")},
        {"remove-non-roms", {"--yes", "--rom-filter", "*.nes"}, true, said("entries from")},
        {"attributes", {"--read-only"}, true, said("Updated 2 of 2")},
        {"zip", {"--to", "OUT"}, false, exists("out/b.zip")},
        {"rename", {"--upper"}, false, exists("B.TXT")},
        {"delete",
         {"--yes"},
         false,
         [](const QString& d, const CliRun&) { return !QFile::exists(d + "/b.txt"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        QTemporaryDir home, dir;
        const QString ext = c.archives ? ".zip" : ".txt";
        if (c.archives) {
            zipInto(dir.filePath("a.zip"), "a.txt", "a");
            zipInto(dir.filePath("b.zip"), "b.txt", textBytes(30000, 5));
            if (QByteArray(c.command) == "test") {
                QByteArray bytes = readFile(dir.filePath("b.zip"));
                bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x11); // a bad CRC
                writeFile(dir.filePath("b.zip"), bytes);
            }
        } else {
            writeFile(dir.filePath("a.txt"), "a");
            writeFile(dir.filePath("b.txt"), "b");
        }
        QStringList args = {c.command};
        for (const QString& f : c.flags)
            args.append(f == "OUT" ? dir.filePath("out") : f);
        args += {dir.filePath("a" + ext), dir.filePath("gone" + ext), dir.filePath("b" + ext)};
        const CliRun run = cli(args, home.path());
        EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
        EXPECT_TRUE(run.err.contains("'" + dir.filePath("gone" + ext) + "' does not exist"))
            << run.err;
        EXPECT_TRUE(c.secondDone(dir.path(), run)) << run.out << run.err;
    }
    QTemporaryDir home, dir;
    const CliRun run = cli({"folders-to-zips", dir.filePath("gone")}, home.path());
    EXPECT_EQ(run.exitCode, 1) << run.err;
}

TEST(CliInterrupts, RemoveNonRomsRefusesAnEmptyRomFilter)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    QTemporaryDir home, dir;
    zipInto(dir.filePath("a.zip"), "game.nes", "rom");
    const QByteArray before = readFile(dir.filePath("a.zip"));
    for (const QStringList& filter :
         {QStringList(), QStringList{"--rom-filter", ""}, QStringList{"--rom-filter", ";*."}}) {
        const CliRun run =
            cli(QStringList{"remove-non-roms", "--yes"} + filter + QStringList{dir.path()},
                home.path());
        EXPECT_EQ(run.exitCode, 2) << filter.join(u' ');
        EXPECT_TRUE(run.err.contains("the ROM filter is empty")) << run.err;
        EXPECT_EQ(readFile(dir.filePath("a.zip")), before);
    }
}

// A source another program rewrites while it is being zipped stays, and says so.
TEST(CliInterrupts, ASourceChangedWhileItIsZippedIsNotDeletedAndSaysSo)
{
    struct Case
    {
        const char* mode;
        QStringList args; // ROOT stands for the folder of the sources
        const char* sourceBelow;
        const char* said;
    };
    const std::vector<Case> cases = {
        {"per-file zip",
         {"zip", "--same-folder", "--delete-originals", "--level", "0", "ROOT"},
         "big.rom",
         "Not deleted: ROOT/big.rom (it changed while it was being zipped)"},
        {"one archive",
         {"zip", "--single", "ROOT/out.zip", "--delete-originals", "--level", "0", "ROOT"},
         "big.rom",
         "Not deleted: ROOT/big.rom (it changed while it was being zipped)"},
        {"folders to zips",
         {"folders-to-zips", "--delete-folders", "--level", "0", "ROOT"},
         "S/big.rom",
         "(folder kept: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        QTemporaryDir home, dir;
        const QString root = dir.filePath("r");
        const QString source = root + "/" + c.sourceBelow;
        writeFile(source, noiseBytes(16 << 20, 4));
        QStringList args;
        for (const QString& a : c.args)
            args.append(QString(a).replace("ROOT", root));
        Watch watch(source, IN_ACCESS);
        QProcess process;
        startCli(process, args, home.path());
        // The first read of the source: it is rewritten at the end before the rest is read.
        ASSERT_TRUE(watch.stopAt(process.processId(), [](const QByteArray&) { return true; }));
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("a newer version");
        f.close();
        ::kill(pid_t(process.processId()), SIGCONT);
        const CliRun run = finishCli(process);
        EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
        EXPECT_TRUE(run.out.contains(QString(c.said).replace("ROOT", root))) << run.out;
        EXPECT_TRUE(readFile(source).endsWith("a newer version"));
    }
}

// Stopped or killed in the middle of a per-file zip with deletion: a source is gone only where
// its archive holds it, and the source of an archive not yet flushed when the process was
// killed is there.
TEST(CliInterrupts, AStoppedOrKilledPerFileZipDeletesNoSourceWithoutItsArchive)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    const int count = 200;
    const auto source = [](int i) { return QStringLiteral("g%1.rom").arg(i, 3, 10, QChar(u'0')); };
    for (const int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(::strsignal(signal));
        QTemporaryDir home, dir;
        const QString src = dir.filePath("src"), out = dir.filePath("out");
        QDir().mkpath(out);
        for (int i = 0; i < count; ++i)
            writeFile(src + u'/' + source(i), noiseBytes(500, quint32(i)));
        Watch watch(out, IN_MOVED_TO | IN_CREATE);
        QProcess process;
        startCli(process,
                 {"--jobs", "2", "zip", "--to", out, "--delete-originals", "--level", "0", src},
                 home.path());
        // The first archive has its name; its group is not flushed yet.
        QByteArray first;
        ASSERT_TRUE(watch.stopAt(process.processId(), [&](const QByteArray& name) {
            first = name;
            return name.endsWith(".zip") && !isTemp(name);
        }));
        ::kill(pid_t(process.processId()), signal);
        ::kill(pid_t(process.processId()), SIGCONT);
        const CliRun run = finishCli(process);
        if (signal == SIGTERM)
            EXPECT_EQ(run.exitCode, 3) << run.err;
        else
            EXPECT_TRUE(QFile::exists(src + u'/' + QString(first).replace(".zip", ".rom")));
        int gone = 0;
        for (int i = 0; i < count; ++i) {
            if (QFile::exists(src + u'/' + source(i)))
                continue;
            ++gone;
            const QString archive = out + u'/' + QString(source(i)).replace(".rom", ".zip");
            EXPECT_EQ(runTool("unzip", {"-p", archive, source(i)}).output,
                      noiseBytes(500, quint32(i)))
                << source(i);
        }
        EXPECT_LT(gone, count);
    }
}
