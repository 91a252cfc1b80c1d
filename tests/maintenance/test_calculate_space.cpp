// SPDX-License-Identifier: GPL-3.0-or-later
// Calculate Space in Zips over real archives, checked against zipinfo -t.
#include "common/FakeHost.h"
#include "common/HostFiles.h"
#include "common/Tools.h"
#include "maintenance/ArchivePool.h"
#include "maintenance/CalculateSpace.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace kelmar;
using namespace kelmar::test;

namespace {

// The uncompressed total zipinfo -t reports for the archives.
quint64 zipinfoTotal(const QString& folder, const QStringList& archives)
{
    quint64 total = 0;
    for (const QString& a : archives) {
        const ToolRun run = runTool(QStringLiteral("zipinfo"), {QStringLiteral("-t"), a}, folder);
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("(\\d+) bytes uncompressed"))
                .match(QString::fromUtf8(run.output));
        EXPECT_TRUE(m.hasMatch()) << run.output.toStdString();
        total += m.captured(1).toULongLong();
    }
    return total;
}

// An archive of one stored entry whose directory claims `claimed` bytes (under 4 GiB each):
// listing reads only the directory, so large totals cost nothing to make.
void makeClaimingArchive(const QString& path, quint32 claimed)
{
    const QString script = QStringLiteral(
        "import struct,sys,zipfile\n"
        "with zipfile.ZipFile(sys.argv[1],'w') as z: z.writestr('big.iso', b'x'*100)\n"
        "b=bytearray(open(sys.argv[1],'rb').read())\n"
        "c=b.find(b'PK\\x01\\x02')\n"
        "struct.pack_into('<I',b,c+24,int(sys.argv[2]))\n"
        "struct.pack_into('<I',b,22,int(sys.argv[2]))\n"
        "open(sys.argv[1],'wb').write(b)\n");
    ASSERT_EQ(runTool(QStringLiteral("python3"),
                      {QStringLiteral("-c"), script, path, QString::number(claimed)})
                  .exitCode,
              0);
}

} // namespace

TEST(CalculateSpace, TotalAgreesWithZipinfoAndTheMessageSaysItWithGroupedDigits)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("zipinfo"));
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("w/a.nes")), textBytes(1234567, 1));
    writeFile(dir.filePath(QStringLiteral("w/sub/b.sfc")), noiseBytes(54321, 2));
    writeFile(dir.filePath(QStringLiteral("w/empty")), QByteArray());
    runTool(QStringLiteral("zip"),
            {QStringLiteral("-qr"), QStringLiteral("../one.zip"), QStringLiteral(".")},
            dir.filePath(QStringLiteral("w")));
    runTool(QStringLiteral("zip"),
            {QStringLiteral("-q"), QStringLiteral("../Two.ZIP"), QStringLiteral("a.nes")},
            dir.filePath(QStringLiteral("w")));
    QDir(dir.filePath(QStringLiteral("w"))).removeRecursively();
    writeFile(dir.filePath(QStringLiteral("notes.txt")), "not an archive");

    FakeHost host;
    host.opts.chkSound = Check::Clear;
    host.listFolder(dir.path());
    host.queueAnswer(MsgAnswer::Ok);
    const BatchReport report = calculate_space(SpaceRequest{archivesOf(host), 0}, host, host);
    const quint64 expected =
        zipinfoTotal(dir.path(), {QStringLiteral("one.zip"), QStringLiteral("Two.ZIP")});
    EXPECT_EQ(expected, 1234567u * 2 + 54321u);
    EXPECT_EQ(report.bytes, expected);
    EXPECT_EQ(report.items.size(), 2u);
    QLocale locale;
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    EXPECT_EQ(host.questions,
              QStringList{QStringLiteral("Information|") + locale.toString(qulonglong(expected)) +
                          QStringLiteral(" unzipped bytes in 2 files")});
    EXPECT_TRUE(host.log.isEmpty());
}

TEST(CalculateSpace, MessageTexts)
{
    const QLocale saved;
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(spaceMessage(1234567, 3), QStringLiteral("1,234,567 unzipped bytes in 3 files"));
    EXPECT_EQ(spaceMessage(0, 1), QStringLiteral("0 unzipped bytes in 1 file"));
    EXPECT_EQ(spaceMessage(999, 0), QStringLiteral("999 unzipped bytes in 0 files"));
    EXPECT_EQ(spaceMessage(18446744073709551615ull, 2),
              QStringLiteral("18,446,744,073,709,551,615 unzipped bytes in 2 files"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(spaceMessage(1234567, 1), QStringLiteral("1.234.567 unzipped bytes in 1 file"));
    QLocale::setDefault(saved);
}

// Above 4 GiB the total is right to the byte, as zipinfo has it; an
// archive that cannot be read is logged and still counted.
TEST(CalculateSpace, LargeTotalsAreExactAndUnreadableArchivesAreLoggedAndCounted)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("zipinfo"));
    QTemporaryDir dir;
    QStringList names;
    for (int i = 0; i < 3; ++i) {
        names << QStringLiteral("disc%1.zip").arg(i);
        makeClaimingArchive(dir.filePath(names.last()), 4000000001u + quint32(i));
    }
    writeFile(dir.filePath(QStringLiteral("zz-broken.zip")), "PK\3\4 this is no archive");
    FakeHost host;
    host.opts.chkSound = Check::Ticked;
    host.listFolder(dir.path());
    host.queueAnswer(MsgAnswer::Ok);
    const BatchReport report = calculate_space(SpaceRequest{archivesOf(host), 0}, host, host);
    EXPECT_EQ(report.bytes, zipinfoTotal(dir.path(), names));
    EXPECT_EQ(report.bytes, 12000000006ull);
    EXPECT_EQ(report.items.size(), 4u);
    EXPECT_EQ(report.failedCount(), 1);
    ASSERT_EQ(host.log.size(), 1);
    EXPECT_TRUE(host.log[0].startsWith(QStringLiteral("zz-broken.zip could not be read (")));
    ASSERT_EQ(host.questions.size(), 1);
    EXPECT_TRUE(host.questions[0].endsWith(QStringLiteral(" unzipped bytes in 4 files")));
}

TEST(CalculateSpace, NothingSelectedSaysWhoopsAndStopReportsWhatWasListed)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir dir;
    for (const char* name : {"a.zip", "b.zip"})
        makeClaimingArchive(dir.filePath(QLatin1String(name)), 1000);
    FakeHost host;
    host.listFolder(dir.path(), false);
    host.log << QStringLiteral("old");
    host.queueAnswer(MsgAnswer::Ok);
    EXPECT_EQ(calculate_space(SpaceRequest{archivesOf(host), 0}, host, host).end,
              BatchEnd::NothingSelected);
    EXPECT_EQ(host.questions,
              QStringList{QStringLiteral("Whoops!|You didn't select any Zip files to calculate!")});
    EXPECT_TRUE(host.log.isEmpty());

    // Stop pressed as the first archive is found unreadable: one archive after another.
    writeFile(dir.filePath(QStringLiteral("a.zip")), "not an archive");
    host.listFolder(dir.path());
    host.questions.clear();
    host.queueAnswer(MsgAnswer::Ok);
    host.onLog = [&](const QString&) { host.stop = true; };
    const BatchReport report = calculate_space(SpaceRequest{archivesOf(host), 1}, host, host);
    EXPECT_TRUE(report.stopped());
    ASSERT_EQ(report.items.size(), 1u);
    EXPECT_EQ(report.items[0].path, dir.filePath(QStringLiteral("a.zip")));
    EXPECT_EQ(report.items[0].result, ItemResult::Failed);
    EXPECT_TRUE(host.stop) << "the flag stays set until the next batch starts";
    EXPECT_EQ(report.bytes, 0u);
}
