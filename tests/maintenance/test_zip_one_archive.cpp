// SPDX-License-Identifier: GPL-3.0-or-later
// Zip into one archive with its files deflated on several threads: the archive must be the one a
// single thread writes, every tool must read it, and a source changed after it was deflated
// ahead must not be deleted.
#include "archive/BufferBudget.h"
#include "archive/ZipComponent.h"
#include "common/FakeHost.h"
#include "common/Tools.h"
#include "common/ZipTestRequests.h"
#include "maintenance/ArchivePool.h"
#include "maintenance/ZipFiles.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

using namespace kelmar;
using namespace kelmar::test;

namespace {

// Zips every file of folder into archive, as the window does with all of them selected.
QString zipAll(const QString& folder, const QString& archive, int level, const QString& password,
               int workers, bool deleteOriginals = false, ZipComponent* component = nullptr)
{
    FakeHost host;
    host.workers = workers;
    host.listFolder(folder);
    host.opts.radOneZIP = true;
    host.opts.sliCompression = level;
    host.opts.chkZIPPassword = password.isEmpty() ? Check::Clear : Check::Ticked;
    host.opts.txtZIPPassword = password;
    host.opts.chkDeleteFiles = deleteOriginals ? Check::Ticked : Check::Clear;
    ZipComponent own;
    const BatchReport report =
        zip_files(zipRequest(host, archive), host, host, component ? *component : own);
    EXPECT_EQ(lastCode(report), ZipOk) << host.log.join(u'\n');
    return host.log.join(u'\n');
}

// Every entry as Python's zipfile reads it, against the file of the same name in folder.
QString pythonCompare(const QString& archive, const QString& folder)
{
    const QString script = QStringLiteral(
        "import os, sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "bad = [i.filename for i in z.infolist()\n"
        "       if z.read(i) != open(os.path.join(sys.argv[2], i.filename), 'rb').read()]\n"
        "print(len(z.infolist()), 'differ:', bad)\n");
    return QString::fromUtf8(
               runTool(QStringLiteral("python3"), {QStringLiteral("-c"), script, archive, folder})
                   .output)
        .trimmed();
}

} // namespace

TEST(ZipOneArchive, SeveralWorkersWriteTheArchiveOneWorkerWritesAndEveryToolReadsIt)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    struct Case
    {
        const char* fault; // what a difference would be
        int level;
        QString password;
        bool pastTheCap;
    };
    const Case cases[] = {
        {"entries out of order, or deflated, stored, empty and past-the-cap ones differing "
         "from one thread's",
         6, QString(), true},
        {"level 0 deflating what it must store", 0, QString(), false},
        {"encrypted entries deflated ahead failing authentication", 6, QStringLiteral("pw"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        QTemporaryDir dir;
        const QString src = dir.filePath(QStringLiteral("roms"));
        int files = 0;
        writeFile(src + QStringLiteral("/empty.rom"), QByteArray());
        for (quint32 i = 1; i <= 24; ++i) {
            // Text deflates, noise is stored; sizes from a few bytes to a few MiB.
            const qsizetype size = qsizetype(1) << (3 + i % 20);
            writeFile(src + QStringLiteral("/g%1.rom").arg(i, 2, 10, QChar(u'0')),
                      i % 3 == 0 ? noiseBytes(size, i) : textBytes(size, i));
            ++files;
        }
        if (c.pastTheCap) {
            writeFile(src + QStringLiteral("/disc.iso"),
                      textBytes(qsizetype(BufferBudget::kEntryCap) + 1, 99));
        }
        files += c.pastTheCap ? 2 : 1;

        const QString one = dir.filePath(QStringLiteral("one.zip"));
        const QString many = dir.filePath(QStringLiteral("many.zip"));
        zipAll(src, one, c.level, c.password, 1);
        zipAll(src, many, c.level, c.password, 3);
        // AES draws a fresh salt for every entry: two encrypted archives never match.
        if (c.password.isEmpty()) {
            EXPECT_TRUE(readFile(one) == readFile(many));
        }

        const ToolRun seven = runTool(
            QStringLiteral("7zz"), {QStringLiteral("t"), QStringLiteral("-p") + c.password, many});
        EXPECT_EQ(seven.exitCode, 0) << seven.output.constData();
        EXPECT_TRUE(seven.output.contains(QStringLiteral("Files: %1").arg(files).toUtf8()))
            << seven.output.constData();
        if (c.password.isEmpty()) {
            const ToolRun unzip = runTool(QStringLiteral("unzip"), {QStringLiteral("-tqq"), many});
            EXPECT_EQ(unzip.exitCode, 0) << unzip.output.constData();
            EXPECT_EQ(pythonCompare(many, src), QStringLiteral("%1 differ: []").arg(files));
        }
    }
}

TEST(ZipOneArchive, ASourceChangedAfterItWasDeflatedAheadIsNotDeleted)
{
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("roms"));
    writeFile(src + QStringLiteral("/a.rom"), textBytes(4 << 20, 1));
    writeFile(src + QStringLiteral("/b.rom"), textBytes(5000, 2));
    writeFile(src + QStringLiteral("/c.rom"), textBytes(6000, 3));
    const QByteArray cBefore = readFile(src + QStringLiteral("/c.rom"));

    // c.rom is changed once a.rom has been written and c.rom has been read ahead (the first
    // time anything opens it), before libzip comes to write it.
    const int watch = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, QFile::encodeName(src + QStringLiteral("/c.rom")),
                                IN_CLOSE_NOWRITE),
              0);
    bool changed = false;
    bool readAhead = false;
    ZipComponent zip;
    QObject::connect(&zip, &ZipComponent::fileProgress, [&](const QString& name, int percent) {
        if (changed || percent != 100 || !name.endsWith(QStringLiteral("/a.rom")))
            return;
        pollfd p{watch, POLLIN, 0};
        readAhead = ::poll(&p, 1, 20000) == 1;
        QFile f(src + QStringLiteral("/c.rom"));
        f.open(QIODevice::Append);
        f.write("changed");
        changed = true;
    });
    const QString log =
        zipAll(src, dir.filePath(QStringLiteral("all.zip")), 6, QString(), 2, true, &zip);
    ::close(watch);

    EXPECT_TRUE(readAhead);
    EXPECT_TRUE(changed);
    EXPECT_TRUE(log.contains(QStringLiteral("c.rom (it changed after it was read)"))) << log;
    EXPECT_EQ(readFile(src + QStringLiteral("/c.rom")), cBefore + "changed");
    EXPECT_FALSE(QFile::exists(src + QStringLiteral("/a.rom")));
    EXPECT_FALSE(QFile::exists(src + QStringLiteral("/b.rom")));
    const ToolRun c = runTool(
        QStringLiteral("unzip"),
        {QStringLiteral("-p"), dir.filePath(QStringLiteral("all.zip")), QStringLiteral("c.rom")});
    EXPECT_TRUE(c.output == cBefore);
}
