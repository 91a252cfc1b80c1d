// SPDX-License-Identifier: GPL-3.0-or-later
// Rezip, remove non-ROMs and change attributes over archives made by other programs, and
// what each leaves behind when the disk, the folder or the archive itself fails it.
#include "archive/ArchiveRebuilder.h"
#include "archive/ZipComponent.h"
#include "common/Scoped.h"
#include "common/FakeHost.h"
#include "common/HostFiles.h"
#include "common/Tools.h"
#include "maintenance/ChangeAttributes.h"
#include "maintenance/RebuildFixture.h"
#include "maintenance/RemoveNonRoms.h"
#include "maintenance/RezipFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace kelmar;
using namespace kelmar::test;

namespace {

enum class Op { Rezip, RemoveNonRoms, Attributes };

// Runs op as the window would over host's list and options, the attributes chosen.
BatchReport run(Op op, FakeHost& host, int attributes = AttrReadOnly | AttrHidden)
{
    RebuildRequest request;
    request.files = archivesOf(host);
    request.level = host.opts.sliCompression;
    request.readPassword = host.opts.unzipPassword();
    request.writePassword = host.opts.zipPassword();
    request.romFilter = host.opts.lblROMFilter;
    request.attributes = attributes;
    switch (op) {
    case Op::Rezip:
        return rezip_files(request, host, host);
    case Op::RemoveNonRoms:
        return remove_non_roms_from_zips(request, host, host);
    case Op::Attributes:
        break;
    }
    return change_attributes(request, host, host);
}

QStringList namesOf(const QList<ListedEntry>& entries)
{
    QStringList names;
    for (const ListedEntry& e : entries)
        names.append(e.name);
    names.sort();
    return names;
}

// Every file of the input, at the top level, with its content and its time.
void expectSameFilesFlattened(const QString& archive)
{
    const QMap<QString, quint32> crcs = unpackedCrcs();
    const QList<ListedEntry> entries = listEntries(archive);
    EXPECT_EQ(namesOf(entries), QStringList(crcs.keys())) << archive;
    for (const ListedEntry& e : entries) {
        EXPECT_EQ(e.crc, crcs.value(e.name)) << archive << ": " << e.name;
        EXPECT_EQ(e.time, QLatin1String(kUnpackedTime)) << archive << ": " << e.name;
    }
}

} // namespace

TEST(RebuildArchives, RezipKeepsEveryFileOfArchivesFromOtherPrograms)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    QTemporaryDir dir;
    QStringList encrypted;
    const QStringList inputs = makeInputArchives(dir.path(), &encrypted);
    struct Case
    {
        const char* name;
        QString zipPassword;
    };
    for (const Case& c : {Case{"plain at level 9", QString()},
                          Case{"encrypted anew with AES-256", QStringLiteral("n3w")}}) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        host.listFolder(dir.path());
        host.opts.sliCompression = 9;
        host.opts.chkUnzipPassword = Check::Ticked;
        host.opts.txtUnzipPassword = QStringLiteral("secret");
        host.opts.chkZIPPassword = c.zipPassword.isEmpty() ? Check::Clear : Check::Ticked;
        host.opts.txtZIPPassword = c.zipPassword;
        const BatchReport report = run(Op::Rezip, host);
        EXPECT_TRUE(host.log.isEmpty()) << host.log.join(u'\n');
        ASSERT_EQ(report.items.size(), size_t(inputs.size()));
        EXPECT_EQ(report.failedCount(), 0);
        for (const QString& name : inputs) {
            const QString path = dir.filePath(name);
            expectSameFilesFlattened(path);
            QString output;
            EXPECT_TRUE(toolsAccept(path, c.zipPassword, !c.zipPassword.isEmpty(), &output))
                << name << output;
        }
        EXPECT_TRUE(host.statusTexts.contains(QStringLiteral("Rezipping File 5 of 5 [||||||||||]")))
            << host.statusTexts.join(u'\n');
        // Nothing is left beside the archives.
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), inputs.size());
        // The next round reads what this one wrote.
        host.opts.txtUnzipPassword =
            c.zipPassword.isEmpty() ? QStringLiteral("secret") : c.zipPassword;
    }
}

// Names are names: wildcards, a line feed and bytes that are not UTF-8 come through as
// they were stored, without their folder.
TEST(RebuildArchives, RezipKeepsOddNamesByteForByte)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    QTemporaryDir dir;
    // Made by the shell: Qt would turn the stray byte into a replacement character.
    ASSERT_EQ(runTool(QStringLiteral("bash"),
                      {QStringLiteral("-c"),
                       QStringLiteral("mkdir -p w/sub && cd w && for n in 'star*' 'q?' "
                                      "$'line\\nfeed' $'bad\\xff'; do echo x > \"sub/$n.nes\"; "
                                      "done && zip -qr ../odd.zip sub")},
                      dir.path())
                  .exitCode,
              0);
    QDir(dir.filePath(QStringLiteral("w"))).removeRecursively();
    FakeHost host;
    host.listFolder(dir.path());
    run(Op::Rezip, host);
    EXPECT_TRUE(host.log.isEmpty()) << host.log.join(u'\n');
    const ToolRun listed = runTool(
        QStringLiteral("unzip"), {QStringLiteral("-Z1"), dir.filePath(QStringLiteral("odd.zip"))});
    QList<QByteArray> stored = listed.output.split('\n');
    stored.removeAll(QByteArray());
    std::sort(stored.begin(), stored.end());
    // unzip shows a line feed in a name as ^J.
    EXPECT_EQ(stored, QList<QByteArray>({"bad\xff.nes", "line^Jfeed.nes", "q?.nes", "star*.nes"}));
}

// Rezip deflates with libdeflate: its level 9 must pack a ROM as tightly as zlib's (as Info-ZIP
// and Python do), store what does not shrink, and write what every reader takes.
TEST(RebuildArchives, RezipPacksNoLargerThanZlibAtLevel9AndEveryToolReadsIt)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src"));
    // Code and graphics with small changes, padding, and compressed data, as in a cartridge.
    QByteArray rom;
    for (quint32 block = 0; rom.size() < 3 * 1024 * 1024; ++block) {
        switch (block % 4) {
        case 0:
            rom += textBytes(96 * 1024, block);
            break;
        case 1: {
            QByteArray tiles = textBytes(512, block).repeated(64);
            for (qsizetype i = 0; i < tiles.size(); i += 997)
                tiles[i] = char(block + i);
            rom += tiles;
            break;
        }
        case 2:
            rom += QByteArray(24 * 1024, block % 8 ? '\xff' : '\0');
            break;
        default:
            rom += noiseBytes(20 * 1024, block);
        }
    }
    writeFile(src + QStringLiteral("/Game (USA).nes"), rom);
    writeFile(src + QStringLiteral("/packed.bin"), noiseBytes(300000, 5));
    writeFile(src + QStringLiteral("/empty.txt"), QByteArray());
    writeFile(src + QStringLiteral("/one.txt"), QByteArrayLiteral("x"));
    const QString archive = dir.filePath(QStringLiteral("game.zip"));
    ASSERT_EQ(runTool(QStringLiteral("bash"),
                      {QStringLiteral("-c"), QStringLiteral("zip -q -1 -X ../game.zip *")}, src)
                  .exitCode,
              0);

    FakeHost host;
    host.listFolder(dir.path());
    host.opts.sliCompression = 9;
    run(Op::Rezip, host);
    EXPECT_TRUE(host.log.isEmpty()) << host.log.join(u'\n');
    QString output;
    EXPECT_TRUE(toolsAccept(archive, QString(), false, &output)) << output;
    const QString script = QStringLiteral(
        "import os, sys, zlib, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "ours = theirs = 0\n"
        "for i in z.infolist():\n"
        "    data = z.read(i)\n"
        "    assert data == open(os.path.join(sys.argv[2], i.filename), 'rb').read(), i\n"
        "    c = zlib.compressobj(9, zlib.DEFLATED, -15)\n"
        "    theirs += min(len(c.compress(data) + c.flush()), len(data))\n"
        "    ours += i.compress_size\n"
        "    if i.filename != 'Game (USA).nes': assert i.compress_type == 0, i\n"
        "print(ours, theirs)\n");
    const ToolRun python =
        runTool(QStringLiteral("python3"), {QStringLiteral("-c"), script, archive, src});
    ASSERT_EQ(python.exitCode, 0) << python.output.constData();
    const QStringList sizes = QString::fromUtf8(python.output).trimmed().split(u' ');
    ASSERT_EQ(sizes.size(), 2);
    EXPECT_LE(sizes[0].toLongLong(), sizes[1].toLongLong())
        << "ours, zlib: " << python.output.constData();
}

TEST(RebuildArchives, RemoveNonRomsCopiesTheRomsAsTheyAreAndCanLeaveAnEmptyArchive)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    QTemporaryDir dir;
    QStringList encrypted;
    const QStringList inputs = makeInputArchives(dir.path(), &encrypted);
    QMap<QString, QList<ListedEntry>> before;
    for (const QString& name : inputs)
        before.insert(name, listEntries(dir.filePath(name)));

    FakeHost host;
    host.listFolder(dir.path());
    host.opts.lblROMFilter = QStringLiteral("*.NES");
    const BatchReport report = run(Op::RemoveNonRoms, host);
    // The window asked before the batch started.
    EXPECT_TRUE(host.questions.isEmpty());
    ASSERT_EQ(report.items.size(), size_t(inputs.size()));
    for (const QString& name : inputs) {
        const QString path = dir.filePath(name);
        const QList<ListedEntry> after = listEntries(path);
        QList<ListedEntry> roms;
        for (const ListedEntry& e : before.value(name)) {
            if (e.name.endsWith(QLatin1String(".nes")))
                roms.append(e);
        }
        ASSERT_EQ(after.size(), roms.size()) << name;
        for (int i = 0; i < roms.size(); ++i) {
            EXPECT_EQ(after[i].name, roms[i].name);
            EXPECT_EQ(after[i].crc, roms[i].crc);
            // Not recompressed: the same number of compressed bytes.
            EXPECT_EQ(after[i].compressedSize, roms[i].compressedSize) << name << after[i].name;
            EXPECT_EQ(after[i].time, roms[i].time);
        }
        const bool isEncrypted = encrypted.contains(name);
        EXPECT_TRUE(toolsAccept(path, isEncrypted ? QStringLiteral("secret") : QString(),
                                name == QLatin1String("7z-aes.zip")))
            << name;
        EXPECT_TRUE(host.log.contains(QStringLiteral("Removed %1 entries from %2")
                                          .arg(before.value(name).size() - roms.size())
                                          .arg(path)))
            << host.log.join(u'\n');
    }

    // An empty filter would take every entry of every archive: refused, whatever the front end.
    QMap<QString, QByteArray> bytes;
    for (const QString& name : inputs)
        bytes.insert(name, readFile(dir.filePath(name)));
    for (const QString& filter : {QString(), QStringLiteral(";"), QStringLiteral("*.")}) {
        FakeHost refused;
        refused.listFolder(dir.path());
        refused.opts.lblROMFilter = filter;
        EXPECT_EQ(run(Op::RemoveNonRoms, refused).end, BatchEnd::Cancelled) << filter;
        EXPECT_TRUE(refused.questions.isEmpty()) << filter;
        for (const QString& name : inputs)
            EXPECT_EQ(readFile(dir.filePath(name)), bytes.value(name)) << filter << name;
    }

    // A filter that no entry matches, confirmed, takes every entry: the archive stays, empty
    // and valid.
    host.listFolder(dir.path());
    host.opts.lblROMFilter = QStringLiteral("*.XYZ");
    run(Op::RemoveNonRoms, host);
    for (const QString& name : inputs) {
        const QString path = dir.filePath(name);
        ASSERT_TRUE(QFileInfo::exists(path)) << name;
        EXPECT_TRUE(listEntries(path).isEmpty());
        EXPECT_EQ(runTool(QStringLiteral("7zz"), {QStringLiteral("t"), path}).exitCode, 0);
        EXPECT_EQ(
            runTool(QStringLiteral("python3"),
                    {QStringLiteral("-c"),
                     QStringLiteral("import zipfile,sys; zipfile.ZipFile(sys.argv[1]).testzip()"),
                     path})
                .exitCode,
            0);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), inputs.size());
}

TEST(RebuildArchives, AttributesAreStoredInEachEntryForZipinfoAnd7Zip)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("zipinfo"));
    QTemporaryDir dir;
    const QStringList inputs = makeInputArchives(dir.path());
    FakeHost host;
    host.listFolder(dir.path());
    host.opts.chkUnzipPassword = Check::Ticked;
    host.opts.txtUnzipPassword = QStringLiteral("secret");
    const BatchReport report = run(Op::Attributes, host, AttrReadOnly | AttrHidden | AttrArchive);
    EXPECT_TRUE(host.log.isEmpty()) << host.log.join(u'\n');
    EXPECT_EQ(report.failedCount(), 0);
    EXPECT_EQ(host.statusTexts.first(), QStringLiteral("Updating Attributes: 7z-aes.zip (1 of 5)"));
    for (const QString& name : inputs) {
        const QString path = dir.filePath(name);
        expectSameFilesFlattened(path);
        for (const ListedEntry& e : listEntries(path)) {
            EXPECT_EQ(e.external & 0xFF, 0x23u) << name << e.name;
            if (e.external >> 16) {
                EXPECT_EQ((e.external >> 16) & 0222, 0u) << name << e.name;
            }
        }
        const QString seven = QString::fromUtf8(
            runTool(QStringLiteral("7zz"), {QStringLiteral("l"), QStringLiteral("-slt"), path})
                .output);
        EXPECT_EQ(seven.count(QStringLiteral("Attributes = RHA")), 3) << seven;
        const QString info = QString::fromUtf8(
            runTool(QStringLiteral("zipinfo"), {QStringLiteral("-v"), path}).output);
        EXPECT_EQ(info.count(QStringLiteral("rdo hid arc")), 3) << info;
        EXPECT_TRUE(toolsAccept(path)) << name;
    }

    // Plain attributes make the files writable again.
    host.listFolder(dir.path());
    run(Op::Attributes, host, 0);
    for (const ListedEntry& e : listEntries(dir.filePath(QStringLiteral("zip.zip")))) {
        EXPECT_EQ(e.external & 0xFF, 0u);
        EXPECT_EQ((e.external >> 16) & 0200, 0200u);
    }
}

// Whatever goes wrong, the archive keeps its bytes and its time, nothing else is left in its
// folder, and the log says which archive failed and why.
TEST(RebuildArchives, AFailedRebuildLeavesTheArchiveAsItWas)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    const bool root = ::geteuid() == 0;
    struct Case
    {
        const char* fault;
        QList<Op> ops;
        QString expect; // in the reason
    };
    const QList<Case> cases{
        // Past a file-size limit there is space to be had: a write error, as when zipping.
        {"file-size limit",
         {Op::Rezip, Op::RemoveNonRoms, Op::Attributes},
         QStringLiteral("File too large")},
        {"immutable folder",
         {Op::Rezip, Op::RemoveNonRoms, Op::Attributes},
         QStringLiteral("temporary file")},
        {"names that clash once folders are dropped",
         {Op::Rezip, Op::Attributes},
         QStringLiteral("a/x.nes and b/X.NES would both be stored as X.NES")},
        {"damaged entry", {Op::Rezip, Op::RemoveNonRoms, Op::Attributes}, QStringLiteral("CRC")},
        {"wrong password", {Op::Rezip, Op::Attributes}, QStringLiteral("password")},
    };
    for (const Case& c : cases) {
        for (Op op : c.ops) {
            SCOPED_TRACE(std::string(c.fault) + " / op " + std::to_string(int(op)));
            QTemporaryDir dir;
            const QString work = dir.filePath(QStringLiteral("work"));
            const QString roms = dir.filePath(QStringLiteral("roms"));
            const QString archive = roms + QStringLiteral("/set.zip");
            QDir().mkpath(roms);
            writeFile(work + QStringLiteral("/a/x.nes"), noiseBytes(300000, 1));
            writeFile(work + QStringLiteral("/b/X.NES"), textBytes(1000, 2));
            writeFile(work + QStringLiteral("/readme.txt"), textBytes(1000, 3));
            QStringList args{QStringLiteral("-qr")};
            if (QLatin1String(c.fault) == QLatin1String("wrong password"))
                args << QStringLiteral("-P") << QStringLiteral("right");
            if (QLatin1String(c.fault) !=
                QLatin1String("names that clash once folders are dropped"))
                QFile::rename(work + QStringLiteral("/b/X.NES"), work + QStringLiteral("/b/y.nes"));
            ASSERT_EQ(runTool(QStringLiteral("zip"),
                              args << archive << "a"
                                   << "b"
                                   << "readme.txt",
                              work)
                          .exitCode,
                      0);
            if (QLatin1String(c.fault) == QLatin1String("damaged entry")) {
                QByteArray bytes = readFile(archive);
                bytes[2000] = char(bytes[2000] ^ 0x20);
                writeFile(archive, bytes);
            }
            const QFileInfo was(archive);
            const QByteArray bytes = readFile(archive);
            FakeHost host;
            host.listFolder(roms);
            host.opts.lblROMFilter = QStringLiteral("*.NES");
            host.opts.chkUnzipPassword = Check::Ticked;
            host.opts.txtUnzipPassword = QStringLiteral("wrong");

            BatchReport report;
            if (QLatin1String(c.fault) == QLatin1String("file-size limit")) {
                const ScopedRlimit small(RLIMIT_FSIZE, 100 * 1024);
                report = run(op, host);
            } else if (QLatin1String(c.fault) == QLatin1String("immutable folder")) {
                if (!root) {
                    QFile::setPermissions(roms, QFile::ReadOwner | QFile::ExeOwner);
                } else if (runTool(QStringLiteral("chattr"), {QStringLiteral("+i"), roms})
                               .exitCode != 0) {
                    continue; // this file system has no immutable files
                }
                report = run(op, host);
                if (root)
                    runTool(QStringLiteral("chattr"), {QStringLiteral("-i"), roms});
                QFile::setPermissions(roms, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            } else {
                report = run(op, host);
            }

            ASSERT_EQ(report.failedCount(), 1);
            EXPECT_TRUE(report.items[0].reason.contains(c.expect)) << report.items[0].reason;
            EXPECT_EQ(readFile(archive), bytes);
            EXPECT_EQ(QFileInfo(archive).lastModified(), was.lastModified());
            EXPECT_EQ(QDir(roms).entryList(QDir::Files | QDir::Hidden | QDir::Dirs |
                                           QDir::NoDotAndDotDot),
                      QStringList{QStringLiteral("set.zip")});
            ASSERT_EQ(host.log.size(), 2) << host.log.join(u'\n');
            EXPECT_TRUE(host.log[0].startsWith(QStringLiteral("Error ")) &&
                        host.log[0].endsWith(archive))
                << host.log[0];
            EXPECT_TRUE(host.log[1].contains(c.expect)) << host.log[1];
        }
    }

    // An archive that someone else rewrites while it is being rebuilt keeps their version.
    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("set.zip"));
    writeFile(dir.filePath(QStringLiteral("x.nes")), textBytes(100000, 4));
    ASSERT_EQ(runTool(QStringLiteral("zip"), {"-q", archive, "x.nes"}, dir.path()).exitCode, 0);
    RebuildPlan plan;
    ArchiveRebuilder rebuilder(plan);
    QByteArray theirs;
    rebuilder.onProgress = [&](const QString&, int percent) {
        if (percent == 100 && theirs.isEmpty()) {
            theirs = readFile(archive) + "their own tail";
            writeFile(archive, theirs);
        }
    };
    EXPECT_EQ(rebuilder.rebuild(archive), ZipWriteError);
    EXPECT_TRUE(
        rebuilder.lastErrorDetail().endsWith(QLatin1String("changed while it was being rebuilt")));
    EXPECT_EQ(readFile(archive), theirs);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}
