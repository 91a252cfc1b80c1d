// SPDX-License-Identifier: GPL-3.0-or-later
// Whole collections from the command line, on real folders: sub-folders (-r), file lists on
// standard input, report only, and the closing line every batch ends with.
#include "browse/FileListModel.h"
#include "common/Tools.h"
#include "maintenance/BatchSummary.h"
#include "maintenance/CliRun.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <unistd.h>

using namespace kelmar;
using namespace kelmar::test;

namespace {

// An archive at path holding one file, entry, of 60,000 bytes; damaged when bad.
void makeArchive(const QString& path, const QString& entry, bool bad = false)
{
    QTemporaryDir work;
    writeFile(work.filePath(entry), textBytes(30000, 1) + noiseBytes(30000, 2));
    QDir().mkpath(QFileInfo(path).absolutePath());
    ASSERT_EQ(runTool(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-0"),
                                              QStringLiteral("-j"), path, work.filePath(entry)})
                  .exitCode,
              0);
    if (bad) {
        QByteArray b = readFile(path);
        b[b.size() / 2] = char(b[b.size() / 2] ^ 0x11);
        writeFile(path, b);
    }
}

// nes/, snes/ (one archive bad) and gb/ below root, an archive at the top, a hidden folder and
// a link to a folder elsewhere (outside), none of which -r may reach.
void makeCollection(const QString& root, const QString& outside)
{
    makeArchive(root + QStringLiteral("/Top.zip"), QStringLiteral("Top.nes"));
    makeArchive(root + QStringLiteral("/nes/Mario.zip"), QStringLiteral("Mario.nes"));
    makeArchive(root + QStringLiteral("/snes/Zelda.zip"), QStringLiteral("Zelda.sfc"));
    makeArchive(root + QStringLiteral("/snes/Bad.zip"), QStringLiteral("Bad.sfc"), true);
    makeArchive(root + QStringLiteral("/gb/Tetris.zip"), QStringLiteral("Tetris.gb"));
    makeArchive(root + QStringLiteral("/.hidden/Hidden.zip"), QStringLiteral("Hidden.nes"), true);
    makeArchive(outside + QStringLiteral("/Outside.zip"), QStringLiteral("Outside.nes"), true);
    ASSERT_TRUE(QFile::link(outside, root + QStringLiteral("/linked")));
}

QString lastLine(const QString& text)
{
    const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last();
}

} // namespace

TEST(CliCollections, RecursionReachesEveryFolderBelowAndEachFileStaysInItsOwn)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    struct Row
    {
        QStringList args;
        int exit;
        QStringList present; // below the collection
        QStringList absent;
        QString last;
    };
    const Row rows[] = {
        {{"test", "-r"}, 1, {"snes/Bad.zip.bad", "snes/Zelda.zip"}, {"snes/Bad.zip"},
         "Tested 5 archives: 4 good, 1 bad (set aside), 0 could not be tested"},
        {{"unzip", "-r", "--same-folder"}, 1,
         {"Top.nes", "nes/Mario.nes", "snes/Zelda.sfc", "gb/Tetris.gb"}, {"Mario.nes"},
         "Unzipped 4 archives, 1 failed: see the log"},
        {{"rename", "-r", "--upper"}, 0, {"nes/MARIO.ZIP", "snes/BAD.ZIP", "TOP.ZIP"},
         {"NES/MARIO.ZIP", "nes/Mario.zip"}, "Renamed 5 files"},
        {{"zip", "-r", "--same-folder", "--original-extensions", "--case", "original"},
         0,
         {"nes/Mario.zip.zip", "snes/Bad.zip.zip"},
         {"Mario.zip.zip"}, "Zipped 5 files into 5 archives"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(u' ').toStdString());
        QTemporaryDir home, dir, outside;
        makeCollection(dir.path(), outside.path());
        const CliRun run = cli(row.args + QStringList{dir.path()}, home.path());
        EXPECT_EQ(run.exitCode, row.exit) << run.out << run.err;
        EXPECT_EQ(lastLine(run.out), row.last) << run.out;
        for (const QString& p : row.present)
            EXPECT_TRUE(QFileInfo::exists(dir.filePath(p))) << p;
        for (const QString& p : row.absent)
            EXPECT_FALSE(QFileInfo::exists(dir.filePath(p))) << p;
        // Neither the hidden folder nor the folder behind the link was touched.
        EXPECT_EQ(QDir(outside.path()).entryList(QDir::Files), QStringList{"Outside.zip"});
        EXPECT_EQ(QDir(dir.filePath(QStringLiteral(".hidden"))).entryList(QDir::Files),
                  QStringList{"Hidden.zip"});
    }

    // The window's list with "Include Sub-folders": the same files, named below the folder;
    // a folder it cannot read is named, and the rest is listed.
    QTemporaryDir dir, outside;
    makeCollection(dir.path(), outside.path());
    QDir().mkpath(dir.filePath(QStringLiteral("locked")));
    ASSERT_EQ(::chmod(QFile::encodeName(dir.filePath(QStringLiteral("locked"))).constData(), 0), 0);
    FileListModel list;
    list.setIncludeSubFolders(true);
    list.setFolder(dir.path());
    EXPECT_EQ(list.names(), (QStringList{"gb/Tetris.zip", "nes/Mario.zip", "snes/Bad.zip",
                                         "snes/Zelda.zip", "Top.zip"}));
    if (::geteuid() != 0) // root reads any folder
        EXPECT_EQ(list.unreadableFolders(), QStringList{dir.filePath(QStringLiteral("locked"))});
    list.setPattern(QStringLiteral("Z*"));
    EXPECT_EQ(list.names(), QStringList{"snes/Zelda.zip"});
    ::chmod(QFile::encodeName(dir.filePath(QStringLiteral("locked"))).constData(), 0700);
}

TEST(CliCollections, FileListsFromStandardInputKeepEveryByteOfEachName)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    struct Row
    {
        const char* what;
        QStringList flags;
        char separator;
        QList<QByteArray> names; // below the folder, as bytes
    };
    const Row rows[] = {
        {"lines", {"--files-from", "-"}, '\n', {"a.zip", "sub/b c.zip"}},
        {"NUL, a line feed and a byte that is not UTF-8 in names",
         {"--files-from", "-", "-0"},
         '\0',
         {"two\nlines.zip", "caf\xe9.zip", "sub/b c.zip"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QTemporaryDir home, dir;
        makeArchive(dir.filePath(QStringLiteral("good.zip")), QStringLiteral("g.nes"));
        makeArchive(dir.filePath(QStringLiteral("bad.zip")), QStringLiteral("b.nes"), true);
        QByteArray input;
        for (const QByteArray& name : row.names) {
            const QByteArray path = QFile::encodeName(dir.path()) + '/' + name;
            const bool bad = name.startsWith("sub/");
            QDir().mkpath(dir.filePath(QStringLiteral("sub")));
            writeRaw(path, readFile(dir.filePath(bad ? QStringLiteral("bad.zip")
                                                     : QStringLiteral("good.zip"))));
            input += path + row.separator;
        }
        const CliRun run = cliWithInput(QStringList{"test"} + row.flags, home.path(), input);
        EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
        EXPECT_EQ(lastLine(run.out),
                  QStringLiteral("Tested %1 archives: %2 good, 1 bad (set aside), 0 could not "
                                 "be tested")
                      .arg(row.names.size())
                      .arg(row.names.size() - 1));
        // The bad one was set aside under its own bytes plus ".bad", the others untouched.
        EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("sub/b c.zip.bad"))));
        for (const QByteArray& name : row.names) {
            if (!name.startsWith("sub/"))
                EXPECT_EQ(::access((QFile::encodeName(dir.path()) + '/' + name).constData(), F_OK),
                          0);
        }
    }
}

TEST(CliCollections, ReportOnlyJudgesWithoutRenaming)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    struct Row
    {
        const char* what;
        QStringList flags;
        QByteArray settings;
        bool setAside;
    };
    const Row rows[] = {
        {"by default", {}, {}, true},
        {"--report-only", {"--report-only"}, {}, false},
        {"the window's saved \"Test only\"", {}, "[other%20settings]\nchkTestOnly=1\n", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QTemporaryDir home, dir;
        if (!row.settings.isEmpty())
            writeFile(home.filePath(QStringLiteral("kelmar/kelmar.ini")), row.settings);
        makeArchive(dir.filePath(QStringLiteral("good.zip")), QStringLiteral("g.nes"));
        makeArchive(dir.filePath(QStringLiteral("bad.zip")), QStringLiteral("b.nes"), true);
        const CliRun run = cli(QStringList{"test"} + row.flags + QStringList{dir.path()},
                               home.path());
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_EQ(run.out.split(u'\n').first(), QStringLiteral("bad.zip is bad!"));
        EXPECT_EQ(QFileInfo::exists(dir.filePath(QStringLiteral("bad.zip.bad"))), row.setAside);
        EXPECT_EQ(QFileInfo::exists(dir.filePath(QStringLiteral("bad.zip"))), !row.setAside);
        EXPECT_EQ(lastLine(run.out),
                  row.setAside ? QStringLiteral("Tested 2 archives: 1 good, 1 bad (set aside), 0 "
                                                "could not be tested")
                               : QStringLiteral("Tested 2 archives: 1 good, 1 bad, 0 could not "
                                                "be tested"));
    }
}

TEST(CliCollections, EveryBatchEndsWithOneSummaryLine)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    struct Row
    {
        QStringList args; // the folder follows
        int bad;          // archives damaged, after the two good ones
        QString last;
    };
    const Row rows[] = {
        {{"test"}, 0, "Tested 2 archives: 2 good, 0 bad, 0 could not be tested"},
        {{"test", "-q"}, 1, "Tested 3 archives: 2 good, 1 bad (set aside), 0 could not be tested"},
        {{"unzip", "--same-folder", "--delete-archives"}, 0, "Unzipped 2 archives (2 deleted)"},
        {{"unzip", "--same-folder"}, 1, "Unzipped 2 archives, 1 failed: see the log"},
        {{"space"}, 0, "Listed 2 archives: 120,000 bytes unzipped"},
        {{"rezip", "--level", "9"}, 0, "Rebuilt 2 archives"},
        {{"rezip", "-q"}, 0, "Rebuilt 2 archives"},
        {{"unzip", "--same-folder", "-q"}, 0, "Unzipped 2 archives"},
        {{"rename", "--upper"}, 0, "Renamed 2 files"},
        {{"rename", "--lower"}, 0, "Renamed 0 files, 2 already so named"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(u' ').toStdString());
        QTemporaryDir home, dir;
        makeArchive(dir.filePath(QStringLiteral("one.zip")), QStringLiteral("one.nes"));
        makeArchive(dir.filePath(QStringLiteral("two.zip")), QStringLiteral("two.nes"));
        for (int i = 0; i < row.bad; ++i)
            makeArchive(dir.filePath(QStringLiteral("bad%1.zip").arg(i)), QStringLiteral("b.nes"),
                        true);
        const CliRun run = cli(row.args + QStringList{dir.path()}, home.path());
        EXPECT_EQ(lastLine(run.out), row.last) << run.out << run.err;
        // The log's own lines come first; -q leaves the closing line alone.
        if (row.args.contains(QStringLiteral("-q"))) {
            EXPECT_EQ(run.out.count(u'\n'), 1) << run.out;
            // ... and the tallies on stderr ("Rezipped 2 of 2 archives") stay away too.
            EXPECT_FALSE(run.err.contains(QRegularExpression(QStringLiteral(" of \\d+ archives"))))
                << run.err;
        }
    }

    // A plan shown as JSON: every file with what would become of it.
    {
        QTemporaryDir home, dir;
        makeArchive(dir.filePath(QStringLiteral("one.zip")), QStringLiteral("one.nes"));
        const CliRun run = cli({QStringLiteral("rename"), QStringLiteral("--upper"),
                                QStringLiteral("--dry-run"), QStringLiteral("--json"), dir.path()},
                               home.path());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const QJsonObject doc = QJsonDocument::fromJson(run.out.toUtf8()).object();
        const QJsonArray plan = doc.value(QStringLiteral("plan")).toArray();
        ASSERT_EQ(plan.size(), 1) << run.out;
        EXPECT_EQ(plan[0].toObject().value(QStringLiteral("to")).toString(),
                  dir.filePath(QStringLiteral("ONE.ZIP")));
        EXPECT_EQ(plan[0].toObject().value(QStringLiteral("result")).toString(),
                  QStringLiteral("rename"));
        EXPECT_EQ(doc.value(QStringLiteral("problems")).toInt(), 0);
        EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("one.zip"))));
    }

    // A collection's numbers, grouped by thousands.
    BatchReport big;
    big.items.resize(40000);
    for (int i = 0; i < 10; ++i) {
        big.items[size_t(i)].result = ItemResult::Failed;
        big.items[size_t(i)].target = QStringLiteral("x.zip.bad");
    }
    EXPECT_EQ(batchSummary({BatchKind::Test}, big),
              QStringLiteral("Tested 40,000 archives: 39,990 good, 10 bad (set aside), 0 could "
                             "not be tested"));
    big.end = BatchEnd::NothingSelected;
    EXPECT_EQ(batchSummary({BatchKind::Test}, big), QString());
    // Three folders' readme.txt went into one readme.zip: one archive, not three.
    BatchReport zipped;
    for (const char* archive : {"out/readme.zip", "out/Mario.zip", "out/readme.zip"}) {
        ItemOutcome item;
        item.path = QString::fromLatin1(archive);
        item.sources = QStringList{QStringLiteral("x")};
        zipped.items.push_back(item);
    }
    EXPECT_EQ(batchSummary({BatchKind::Zip}, zipped),
              QStringLiteral("Zipped 3 files into 2 archives"));
    EXPECT_EQ(batchSummary({BatchKind::Test}, BatchReport()), QString());
}
