// SPDX-License-Identifier: GPL-3.0-or-later
// Batches that run several archives at once must read, to the user, exactly like a run of one
// archive after another: the same log lines in the same order, the same archives written, the
// same sources deleted, the same archives set aside as bad, and after Stop nothing more.
#include "archive/ZipComponent.h"
#include "common/FakeHost.h"
#include "common/SelectedArchives.h"
#include "common/HostFiles.h"
#include "common/Tools.h"
#include "common/ZipTestRequests.h"
#include "maintenance/ArchivePool.h"
#include "maintenance/RezipFiles.h"
#include "maintenance/TestZips.h"
#include "maintenance/UnzipFiles.h"
#include "maintenance/ZipFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

using namespace kelmar;
using namespace kelmar::test;

namespace {

// Every file below root with its size, relative to root.
QStringList treeOf(const QString& root)
{
    QStringList out;
    for (const QFileInfo& info : QDir(root).entryInfoList(
             QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name)) {
        if (info.isDir()) {
            for (const QString& inner : treeOf(info.filePath()))
                out.append(info.fileName() + u'/' + inner);
        } else {
            out.append(info.fileName() + QStringLiteral(" %1").arg(info.size()));
        }
    }
    return out;
}

// What a user sees of one batch: the log (paths relative to root), the files left, the
// outcome of each archive.
struct Seen
{
    QStringList log;
    QStringList files;
    QStringList outcomes;
    int archives = 0;
};

void makeSources(const QString& src)
{
    for (int i = 1; i <= 14; ++i)
        writeFile(src + QStringLiteral("/g%1.nes").arg(i, 2, 10, QChar(u'0')),
                  i % 3 == 0 ? noiseBytes(40000 + i, quint32(i))
                             : textBytes(90000 + i, quint32(i)));
    // Lower-cased archive names put these two into one archive, where the second clashes.
    writeFile(src + QStringLiteral("/A.nes"), textBytes(5000, 20));
    writeFile(src + QStringLiteral("/a.nes"), textBytes(6000, 21));
    writeFile(src + QStringLiteral("/a.sfc"), textBytes(7000, 22));
}

// Zips every file of a fresh copy of the sources into one archive each, deleting the
// originals; Stop is pressed when the log shows stopAt (a source's name), or with
// "status:" before it, when the status shows that text (log lines wait for the archives
// before them, which may all have been taken up by then).
Seen zipRun(int workers, const QString& stopAt, int* stopAfter)
{
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("roms"));
    const QString out = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(out);
    makeSources(src);
    FakeHost host;
    host.workers = workers;
    host.listFolder(src);
    host.opts.chkDeleteFiles = Check::Ticked;
    host.opts.cmbFileCase = UseLowerCase;
    const QString status = stopAt.startsWith(QStringLiteral("status:")) ? stopAt.mid(7) : QString();
    host.onLog = [&](const QString& line) {
        if (status.isEmpty() && line.endsWith(u'/' + stopAt))
            host.stop = true;
    };
    host.onStatus = [&](const QString& text) {
        if (!status.isEmpty() && text.startsWith(status))
            host.stop = true;
    };
    ZipComponent zip;
    const BatchReport report = zip_files(zipRequest(host, out), host, host, zip);
    Seen seen;
    for (const QString& line : std::as_const(host.log))
        seen.log.append(QString(line).replace(dir.path(), QStringLiteral("<root>")));
    seen.files = treeOf(dir.path());
    for (const ItemOutcome& a : report.items)
        seen.outcomes.append(QStringLiteral("%1 %2 %3")
                                 .arg(QFileInfo(a.path).fileName())
                                 .arg(a.code)
                                 .arg(keptSources(a).join(u',')));
    seen.archives = int(report.items.size());
    if (stopAfter)
        *stopAfter = seen.archives;
    EXPECT_EQ(report.stopped(), seen.archives < 17);
    return seen;
}

// Tests (or rezips) a folder of good and damaged archives; Stop is pressed as archive stopAt
// starts.
Seen testRun(int workers, int stopAt, bool rezip = false)
{
    QTemporaryDir dir;
    for (int i = 1; i <= 12; ++i) {
        const QString name = QStringLiteral("a%1").arg(i, 2, 10, QChar(u'0'));
        writeFile(dir.filePath(QStringLiteral("work/") + name + QStringLiteral(".nes")),
                  textBytes(30000 + i, quint32(i)));
        runTool(QStringLiteral("zip"),
                {QStringLiteral("-q"), QStringLiteral("../") + name + QStringLiteral(".zip"),
                 name + QStringLiteral(".nes")},
                dir.filePath(QStringLiteral("work")));
        if (i % 4 == 1) {
            QByteArray bytes = readFile(dir.filePath(name + QStringLiteral(".zip")));
            bytes[100] = char(bytes[100] ^ 0x40);
            writeFile(dir.filePath(name + QStringLiteral(".zip")), bytes);
        }
    }
    QDir(dir.filePath(QStringLiteral("work"))).removeRecursively();
    FakeHost host;
    host.listFolder(dir.path());
    const auto pressStop = [&](int number, int, const QString&) {
        if (number == stopAt)
            host.stop = true;
    };
    Seen seen;
    if (rezip) {
        host.opts.sliCompression = 9;
        RebuildRequest request;
        request.files = archivesOf(host);
        request.level = 9;
        request.workers = workers;
        const BatchReport report = rezip_files(request, host, host, pressStop);
        for (const QString& line : std::as_const(host.log))
            seen.log.append(QString(line).replace(dir.path(), QStringLiteral("<root>")));
        seen.files = treeOf(dir.path());
        for (const ItemOutcome& a : report.items)
            seen.outcomes.append(QFileInfo(a.path).fileName() + u' ' + a.reason);
        seen.archives = int(report.items.size());
        return seen;
    }
    const BatchReport report =
        test_zip_files(TestRequest{archivesOf(host), QString(), workers}, host, host, pressStop);
    seen.log = host.log;
    seen.files = treeOf(dir.path());
    for (const ItemOutcome& a : report.items)
        seen.outcomes.append(QFileInfo(a.path).fileName() + u' ' + a.reason + u' ' +
                             QFileInfo(a.target).fileName());
    seen.archives = int(report.items.size());
    return seen;
}

// Unzips a folder of archives into one folder, deleting them and renaming what they give;
// several archives give a file of the same name (some the same bytes, some other bytes), one
// is damaged. Stop is pressed as archive stopAt starts.
Seen unzipRun(int workers, int stopAt)
{
    QTemporaryDir dir;
    const QString work = dir.filePath(QStringLiteral("work"));
    for (int i = 1; i <= 12; ++i) {
        const QString name = QStringLiteral("u%1").arg(i, 2, 10, QChar(u'0'));
        QDir(work).removeRecursively();
        writeFile(work + u'/' + name + QStringLiteral(".nes"), textBytes(20000 + i, quint32(i)));
        QStringList files{name + QStringLiteral(".nes")};
        if (i % 3 != 1) { // neighbours, so that they run at the same time
            writeFile(work + QStringLiteral("/shared.dat"), textBytes(1500000, quint32(i % 2)));
            files.append(QStringLiteral("shared.dat"));
        }
        runTool(QStringLiteral("zip"),
                QStringList{QStringLiteral("-q"), QStringLiteral("../") + name + ".zip"} + files,
                work);
        if (i == 5) {
            QByteArray bytes = readFile(dir.filePath(name + QStringLiteral(".zip")));
            bytes[100] = char(bytes[100] ^ 0x40);
            writeFile(dir.filePath(name + QStringLiteral(".zip")), bytes);
        }
    }
    QDir(work).removeRecursively();
    FakeHost host;
    host.workers = workers;
    host.listFolder(dir.path());
    host.opts.chkDeleteZIPFiles = Check::Ticked;
    host.opts.chkRenameFiles = Check::Ticked;
    host.opts.cmbUnzipCase = UseUpperCase;
    if (stopAt > 0)
        host.queueAnswer(MsgAnswer::Ok); // "The current process has been stopped"
    UnzipHooks hooks;
    hooks.onArchive = [&](int number, int, const QString&) {
        if (number == stopAt)
            host.stop = true;
    };
    const BatchReport report =
        unzip_files(unzipRequestFor(host, dir.filePath(QStringLiteral("out"))), host, host, hooks);
    Seen seen;
    for (const QString& line : std::as_const(host.log))
        seen.log.append(QString(line).replace(dir.path(), QStringLiteral("<root>")));
    seen.files = treeOf(dir.path());
    for (const ItemOutcome& a : report.items)
        seen.outcomes.append(QStringLiteral("%1 %2 %3")
                                 .arg(QFileInfo(a.path).fileName())
                                 .arg(a.code)
                                 .arg(a.result == ItemResult::Done));
    seen.archives = int(report.items.size());
    return seen;
}

} // namespace

TEST(ArchivePool, SeveralWorkersLookLikeOneArchiveAfterAnother)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    struct Case
    {
        const char* name; // what a difference would break
        QString stopAt;
    };
    const Case zipCases[] = {
        {"log order, clash failure and deletions over a whole batch", QStringLiteral("none")},
        {"no archive starts after Stop", QStringLiteral("status:Zipping File 4 of")},
    };
    for (const Case& c : zipCases) {
        SCOPED_TRACE(c.name);
        int done = 0;
        const Seen parallel = zipRun(4, c.stopAt, &done);
        ASSERT_GT(done, 0);
        if (c.stopAt != QStringLiteral("none")) {
            EXPECT_LT(done, 17);
        }
        // The one-worker run stops after as many archives as the parallel one finished. Its
        // log lines wait for the flush of their group: the status tells when archive number
        // done is taken up.
        const QString stopOne = done < 17 ? QStringLiteral("status:Zipping File %1 of").arg(done)
                                          : QStringLiteral("none");
        const Seen one = zipRun(1, stopOne, nullptr);
        EXPECT_EQ(parallel.log, one.log);
        EXPECT_EQ(parallel.files, one.files);
        EXPECT_EQ(parallel.outcomes, one.outcomes);
        EXPECT_TRUE(parallel.log.join(u'\n').contains(QStringLiteral("Error zipping")));
    }
    const std::pair<int, bool> runs[] = {{0, false}, {6, false}, {0, true}, {5, true}};
    for (const auto& [stopAt, rezip] : runs) {
        SCOPED_TRACE(QStringLiteral("%1 stop at %2").arg(rezip ? "rezip" : "test").arg(stopAt));
        const Seen parallel = testRun(3, stopAt, rezip);
        const Seen one = testRun(1, stopAt, rezip);
        EXPECT_EQ(parallel.archives, stopAt == 0 ? 12 : stopAt);
        EXPECT_FALSE(parallel.log.isEmpty()); // the damaged archives are named
        EXPECT_EQ(parallel.log, one.log);
        EXPECT_EQ(parallel.files, one.files);
        EXPECT_EQ(parallel.outcomes, one.outcomes);
    }

    // Unzip: the same archive wins a shared name (or fails on it) as one after another.
    const Seen parallel = unzipRun(3, 0);
    const Seen one = unzipRun(1, 0);
    EXPECT_EQ(parallel.log, one.log);
    EXPECT_EQ(parallel.files, one.files);
    EXPECT_EQ(parallel.outcomes, one.outcomes);
    EXPECT_TRUE(parallel.log.join(u'\n').contains(QStringLiteral("exists and differs")));
    // Stop: nothing after the archive it came with; what was cancelled stays, whole.
    const Seen stopped = unzipRun(3, 7);
    EXPECT_EQ(stopped.archives, 7);
    for (const QString& outcome : stopped.outcomes) {
        if (!outcome.endsWith(QStringLiteral(" 1"))) {
            EXPECT_TRUE(stopped.files.filter(outcome.section(u' ', 0, 0)).size() == 1) << outcome;
        }
    }
    EXPECT_TRUE(stopped.files.filter(QStringLiteral(".kelmar-")).isEmpty());
}

TEST(ArchivePool, ThousandsOfTinyFilesAreAllZippedAndTested)
{
    QTemporaryDir dir;
    const int count = 2000;
    for (int i = 0; i < count; ++i)
        writeFile(dir.filePath(QStringLiteral("t%1.bin").arg(i, 4, 10, QChar(u'0'))),
                  QByteArray::number(i));
    FakeHost host;
    host.workers = 4;
    host.listFolder(dir.path());
    host.opts.chkDeleteFiles = Check::Ticked;
    host.opts.chkSaveZIPsinSameFolder = Check::Ticked;
    ZipComponent zip;
    const BatchReport zipped = zip_files(zipRequest(host), host, host, zip);
    EXPECT_EQ(zipped.items.size(), size_t(count));
    EXPECT_EQ(zipped.failedCount(), 0);
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("*.bin")}, QDir::Files).size(), 0);
    EXPECT_EQ(host.log.size(), count + 1);
    EXPECT_EQ(host.log.value(count), dir.path() + QStringLiteral("/t1999.bin"));
    EXPECT_EQ(host.statusTexts.filter(QStringLiteral("Zipping File 2000 of 2000")).isEmpty(),
              false);

    host.listFolder(dir.path());
    const BatchReport tested =
        test_zip_files(TestRequest{archivesOf(host), QString(), 4}, host, host);
    EXPECT_EQ(tested.count(ItemResult::Done), count);

    host.listFolder(dir.path());
    RebuildRequest rezip;
    rezip.files = archivesOf(host);
    rezip.level = host.opts.sliCompression;
    rezip.workers = 4;
    const BatchReport rezipped = rezip_files(rezip, host, host);
    EXPECT_EQ(rezipped.items.size(), size_t(count));
    // Archives finish in any order, but the counter the user reads never goes back.
    for (const QString& prefix :
         {QStringLiteral("Zipping File "), QStringLiteral("Rezipping File ")}) {
        SCOPED_TRACE(prefix);
        int shown = 0;
        int texts = 0;
        for (const QString& text : std::as_const(host.statusTexts)) {
            if (!text.startsWith(prefix))
                continue;
            ++texts;
            const int number = text.mid(prefix.size()).section(u' ', 0, 0).toInt();
            ASSERT_GE(number, shown) << text;
            shown = number;
        }
        EXPECT_GE(texts, count);
        EXPECT_EQ(shown, count);
    }
    EXPECT_TRUE(host.statusTexts.contains(
        QStringLiteral("Rezipping File %1 of %1 [||||||||||]").arg(count)));

    host.listFolder(dir.path());
    host.opts.chkUnziptoSameFolder = Check::Ticked;
    host.opts.chkDeleteZIPFiles = Check::Ticked;
    const BatchReport unzipped = unzip_files(unzipRequestFor(host), host, host);
    EXPECT_EQ(unzipped.failedCount(), 0);
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("*.bin")}, QDir::Files).size(), count);
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("*.zip")}, QDir::Files).size(), 0);
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("t1234.bin"))), QByteArray("1234"));
}
