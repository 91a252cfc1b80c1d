// SPDX-License-Identifier: GPL-3.0-or-later
// TorrentZip through the batches and kelmar-cli: rezip and zip give the same bytes whatever
// made the input, an archive already so is left alone, a clash leaves it as it was, and Test
// Zips says which archives are TorrentZip only when asked.
#include "archive/ZipComponent.h"
#include "common/FakeHost.h"
#include "common/Tools.h"
#include "maintenance/CliRun.h"
#include "maintenance/RezipFiles.h"
#include "maintenance/TestZips.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace kelmar;
using namespace kelmar::test;

namespace {

// The inode and modification time: a file left alone keeps both.
std::pair<ino_t, qint64> identityOf(const QString& path)
{
    struct stat st = {};
    ::stat(path.toUtf8().constData(), &st);
    return {st.st_ino, qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

const char* const kCheckAll = "import sys, zipfile\n"
                              "for a in sys.argv[1:]:\n"
                              "    assert zipfile.ZipFile(a).testzip() is None, a\n";

} // namespace

TEST(TorrentZipCli, RezipGivesOneArchiveWhicheverToolMadeIt)
{
    for (const char* tool : {"zip", "7zz", "python3", "bsdtar", "unzip"})
        KELMAR_REQUIRE_TOOL(QString::fromLatin1(tool));
    QTemporaryDir home, dir;
    const QString src = dir.filePath("src");
    writeFile(src + "/Zebra (USA).nes", noiseBytes(150000, 1));
    writeFile(src + "/alpha b.bin", textBytes(300000, 2));
    writeFile(src + "/Mid [!].gb", textBytes(40000, 3));
    writeFile(src + "/empty.rom", QByteArray());
    writeFile(src + "/sub/inner.ROM", textBytes(7000, 4));
    const QString out = dir.filePath("out");
    QDir().mkpath(out);
    const QStringList files = {"Zebra (USA).nes", "alpha b.bin", "Mid [!].gb", "empty.rom", "sub"};
    ASSERT_EQ(runTool("zip", QStringList{"-qr", out + "/zip.zip"} + files, src).exitCode, 0);
    ASSERT_EQ(runTool("7zz", QStringList{"a", "-tzip", out + "/7zz.zip"} + files, src).exitCode, 0);
    ASSERT_EQ(runTool("bsdtar", QStringList{"-a", "-cf", out + "/bsdtar.zip"} + files, src).exitCode,
              0);
    ASSERT_EQ(runTool("python3", {"-c",
                                  "import os, sys, zipfile\n"
                                  "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                                  "    for root, dirs, names in os.walk('.'):\n"
                                  "        for n in dirs + names:\n"
                                  "            z.write(os.path.join(root, n))\n",
                                  out + "/python.zip"},
                      src)
                  .exitCode,
              0);
    CliRun run = cli({"rezip", "--torrentzip", out}, home.path());
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    const QByteArray bytes = readFile(out + "/zip.zip");
    for (const char* made : {"7zz", "python", "bsdtar"})
        EXPECT_EQ(readFile(out + "/" + made + ".zip"), bytes) << made;
    // zip --torrentzip of the same files: the same bytes again.
    run = cli({"zip", "--torrentzip", "--no-keep-paths", "--no-info-file", "--single",
               dir.filePath("single.zip"), src + "/Zebra (USA).nes", src + "/alpha b.bin",
               src + "/Mid [!].gb", src + "/empty.rom", src + "/sub/inner.ROM"},
              home.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readFile(dir.filePath("single.zip")), bytes);
    EXPECT_EQ(runTool("unzip", {"-tq", out + "/zip.zip"}).exitCode, 0);
    EXPECT_EQ(runTool("7zz", {"t", out + "/zip.zip"}).exitCode, 0);
    EXPECT_EQ(runTool("python3", {"-c", kCheckAll, out + "/zip.zip"}).exitCode, 0);

    // Already TorrentZip: left alone, and said so.
    const auto before = identityOf(out + "/zip.zip");
    run = cli({"rezip", "--torrentzip", out + "/zip.zip"}, home.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, out + "/zip.zip: already TorrentZip\nRebuilt 0 archives, 1 unchanged\n");
    EXPECT_EQ(identityOf(out + "/zip.zip"), before);

    // test --json: every archive has its "torrentzip".
    ASSERT_EQ(runTool("zip", {"-qj", dir.filePath("plain.zip"), src + "/alpha b.bin"}).exitCode,
              0);
    run = cli({"test", "--json", out + "/zip.zip", dir.filePath("plain.zip")}, home.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.count("\"torrentzip\": true"), 1) << run.out;
    EXPECT_EQ(run.out.count("\"torrentzip\": false"), 1) << run.out;
}

// Whatever refuses: the archive stays byte for byte as it was (or is not started).
TEST(TorrentZipCli, RefusalsLeaveTheArchiveAsItWas)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    QTemporaryDir home, dir;
    // Folders dropped, "x.rom" twice; kept, "x.rom" and "X.ROM".
    const QString archive = dir.filePath("clash.zip");
    const QString kept = dir.filePath("kept.zip");
    ASSERT_EQ(runTool("python3", {"-c",
                                  "import sys, zipfile\n"
                                  "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                                  "    z.writestr('a/x.rom', 'one')\n"
                                  "    z.writestr('b/X.rom', 'two')\n"
                                  "with zipfile.ZipFile(sys.argv[2], 'w') as z:\n"
                                  "    z.writestr('x.rom', 'one')\n"
                                  "    z.writestr('X.ROM', 'two')\n",
                                  archive, kept})
                  .exitCode,
              0);
    writeFile(dir.filePath("new.nes"), "new");
    const struct
    {
        QStringList args;
        QString archive;
        int exit;
        const char* says;
    } cases[] = {
        {{"rezip", "--torrentzip", archive}, archive, 1, "would both be stored as"},
        {{"rezip", "--torrentzip", "--password", "pw", archive}, archive, 2, "cannot be encrypted"},
        {{"zip", "--torrentzip", "--no-password", "--no-info-file", "--single", kept,
          dir.filePath("new.nes")},
         kept, 1, "would both be stored as"},
    };
    for (const auto& c : cases) {
        const QByteArray before = readFile(c.archive);
        const CliRun run = cli(c.args, home.path());
        EXPECT_EQ(run.exitCode, c.exit) << c.args.join(' ');
        EXPECT_TRUE((run.out + run.err).contains(c.says)) << run.out << run.err;
        EXPECT_EQ(readFile(c.archive), before) << c.args.join(' ');
    }
}

// The window's Test Zips: the TorrentZip line only when the check is asked for.
TEST(TorrentZipBatch, TestZipsLogsOnlyWhenAsked)
{
    QTemporaryDir dir;
    for (const char* name : {"plain.zip", "layout.zip"}) {
        ZipComponent zip;
        writeFile(dir.filePath("game.nes"), textBytes(20000, 5));
        zip.setArchivePath(dir.filePath(name));
        ASSERT_EQ(zip.compress({ZipSource::file(dir.filePath("game.nes"), "game.nes")}), 0);
    }
    FakeHost host;
    RebuildRequest rezip;
    rezip.files = {dir.path(), {"layout.zip"}};
    rezip.torrentZip = true;
    ASSERT_EQ(rezip_files(rezip, host, host).items.at(0).result, ItemResult::Done);

    TestRequest request;
    request.files = {dir.path(), {"layout.zip", "plain.zip"}};
    const BatchReport quiet = test_zip_files(request, host, host);
    EXPECT_TRUE(host.log.isEmpty()) << host.log.join('\n');
    EXPECT_FALSE(quiet.items.at(0).torrentZip.has_value());
    request.checkTorrentZip = true;
    const BatchReport checked = test_zip_files(request, host, host);
    EXPECT_EQ(host.log, QStringList{"plain.zip is not TorrentZip"});
    EXPECT_EQ(checked.items.at(0).torrentZip, true);
    EXPECT_EQ(checked.items.at(1).torrentZip, false);
}
