// SPDX-License-Identifier: GPL-3.0-or-later
// ZIP Files in both modes over real files, checked with zip's own tools and 7-Zip.
#include "archive/BufferBudget.h"
#include "archive/ZipComponent.h"
#include "common/Scoped.h"
#include "common/FakeHost.h"
#include "common/Tools.h"
#include "common/ZipTestRequests.h"
#include "maintenance/ArchivePool.h"
#include "maintenance/ZipFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <stdexcept>
#include <sys/resource.h>

using namespace kelmar;
using namespace kelmar::test;

namespace {

QStringList zipNames(const QString& archive)
{
    const ToolRun run = runTool(QStringLiteral("zipinfo"), {QStringLiteral("-1"), archive});
    EXPECT_EQ(run.exitCode, 0) << run.output.constData();
    QStringList names = QString::fromUtf8(run.output).split(u'\n', Qt::SkipEmptyParts);
    names.sort();
    return names;
}

// unzip -t and 7zz t both accept the archive (7zz with the password when given).
void expectSound(const QString& archive, const QString& password = QString())
{
    if (password.isEmpty()) {
        const ToolRun unzip = runTool(QStringLiteral("unzip"), {QStringLiteral("-tqq"), archive});
        EXPECT_EQ(unzip.exitCode, 0) << archive << ": " << unzip.output.constData();
    }
    const ToolRun sz = runTool(QStringLiteral("7zz"),
                               {QStringLiteral("t"), QStringLiteral("-p") + password, archive});
    EXPECT_EQ(sz.exitCode, 0) << archive << ": " << sz.output.constData();
}

QString zipinfoText(const QString& archive)
{
    return QString::fromUtf8(runTool(QStringLiteral("zipinfo"), {archive}).output);
}

struct Fixture
{
    QTemporaryDir dir;
    QString src;
    QString out;
    Fixture()
    {
        src = dir.filePath(QStringLiteral("Roms"));
        out = dir.filePath(QStringLiteral("Out"));
        QDir().mkpath(out);
    }
    QString make(const QString& name, const QByteArray& bytes)
    {
        writeFile(src + u'/' + name, bytes);
        return src + u'/' + name;
    }
};

} // namespace

TEST(ZipFiles, OneArchiveHoldsEverySelectedFileWithOrWithoutPaths)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zipinfo"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    Fixture f;
    f.make(QStringLiteral("a.nes"), textBytes(40000, 1));
    f.make(QStringLiteral("b.nes"), noiseBytes(30000, 2));
    f.make(QStringLiteral("c.nes"), textBytes(20000, 3));
    f.make(QStringLiteral("skip.txt"), "not selected");
    FakeHost host;
    host.listFolder(f.src);
    host.select(3, false);
    host.opts.radOneZIP = true;
    host.opts.radMultipleZIPs = false;
    const QString archive = f.out + QStringLiteral("/all.zip");

    ZipComponent zip;
    const BatchReport report = zip_files(zipRequest(host, archive), host, host, zip);
    ASSERT_EQ(report.items.size(), 1u);
    EXPECT_EQ(report.items[0].code, 0);
    EXPECT_EQ(report.items[0].result, ItemResult::Done);
    EXPECT_EQ(report.items[0].sources,
              QStringList({f.src + "/a.nes", f.src + "/b.nes", f.src + "/c.nes"}));
    // The mask's paths one per line, as CR LF would show them in the window's log.
    EXPECT_EQ(host.log, QStringList({QStringLiteral("Zipping files: ") + f.src + "/a.nes",
                                     f.src + "/b.nes", f.src + "/c.nes to " + archive}));
    EXPECT_EQ(zipNames(archive), QStringList({"a.nes", "b.nes", "c.nes"}));
    expectSound(archive);
    EXPECT_TRUE(host.questions.isEmpty()) << host.questions.join(u'\n');
    EXPECT_EQ(host.statusTexts.back(), QStringLiteral("<credit>"));
    EXPECT_TRUE(host.statusTexts.contains(QStringLiteral("Zipping File 3 of 3 [||||||||||]")))
        << host.statusTexts.join(u'\n');

    // Stored paths, stored data at level 0, into a fresh archive.
    host.listFolder(f.src);
    host.select(3, false);
    host.opts.chkUseZIPPaths = Check::Ticked;
    host.opts.sliCompression = 0;
    const QString withPaths = f.out + QStringLiteral("/paths.zip");
    EXPECT_EQ(lastCode(zip_files(zipRequest(host, withPaths), host, host, zip)), 0);
    QString relative = f.src;
    while (relative.startsWith(u'/'))
        relative.remove(0, 1);
    EXPECT_EQ(zipNames(withPaths),
              QStringList({relative + "/a.nes", relative + "/b.nes", relative + "/c.nes"}));
    const QString info = zipinfoText(withPaths);
    EXPECT_EQ(info.count(QStringLiteral(" stor ")), 3) << info;
    EXPECT_TRUE(info.contains(QStringLiteral("   40000 ")));
    expectSound(withPaths);
}

TEST(ZipFiles, OneArchiveWithoutSelectionTakesTheInfoFileAloneOrSaysWhoops)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zipinfo"));
    Fixture f;
    f.make(QStringLiteral("a.nes"), textBytes(1000, 1));
    writeFile(f.dir.filePath(QStringLiteral("info.nfo")), "Collected by us");
    FakeHost host;
    host.listFolder(f.src, false);
    host.opts.radOneZIP = true;
    ZipComponent zip;

    // Nothing selected, no info file.
    host.queueAnswer(MsgAnswer::Ok);
    BatchReport report = zip_files(zipRequest(host, f.out + "/none.zip"), host, host, zip);
    EXPECT_EQ(report.end, BatchEnd::NothingSelected);
    EXPECT_TRUE(report.items.empty());
    EXPECT_EQ(host.questions,
              QStringList{QStringLiteral("Whoops!|You didn't select any files to ZIP!")});
    EXPECT_FALSE(QFileInfo::exists(f.out + "/none.zip"));

    // The info file alone.
    host.questions.clear();
    host.opts.chkInfoFile = Check::Ticked;
    host.opts.txtInfoFile = f.dir.filePath(QStringLiteral("info.nfo"));
    report = zip_files(zipRequest(host, f.out + "/info-only.zip"), host, host, zip);
    EXPECT_EQ(lastCode(report), 0);
    EXPECT_TRUE(host.questions.isEmpty());
    EXPECT_EQ(zipNames(f.out + QStringLiteral("/info-only.zip")), QStringList{"info.nfo"});
}

TEST(ZipFiles, PerFileNamesTheArchiveByExtensionAndCaseButNeverChangesTheFolder)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zipinfo"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    Fixture f;
    f.make(QStringLiteral("Pac Man.rom"), textBytes(30000, 4));
    f.make(QStringLiteral("game.bin"), noiseBytes(5000, 5));
    writeFile(f.dir.filePath(QStringLiteral("info.nfo")), "Collected by us");
    FakeHost host;
    host.listFolder(f.src);
    host.opts.chkSaveZIPsinSameFolder = Check::Ticked;
    host.opts.cmbFileCase = UseUpperCase;
    host.opts.chkInfoFile = Check::Ticked;
    host.opts.txtInfoFile = f.dir.filePath(QStringLiteral("info.nfo"));
    ZipComponent zip;

    BatchReport report = zip_files(zipRequest(host), host, host, zip);
    EXPECT_EQ(lastCode(report), 0);
    EXPECT_EQ(report.failedCount(), 0);
    // "Roms" keeps its case; only the file name is upper-cased.
    EXPECT_TRUE(QFileInfo::exists(f.src + QStringLiteral("/PAC MAN.ZIP")));
    EXPECT_TRUE(QFileInfo::exists(f.src + QStringLiteral("/GAME.ZIP")));
    EXPECT_EQ(zipNames(f.src + QStringLiteral("/PAC MAN.ZIP")),
              QStringList({"Pac Man.rom", "info.nfo"}));
    EXPECT_EQ(
        host.log,
        QStringList({QStringLiteral("Individually Zipping the Following Files to ") + f.src + u'/',
                     f.src + "/game.bin", host.opts.txtInfoFile, f.src + "/Pac Man.rom",
                     host.opts.txtInfoFile}));
    expectSound(f.src + QStringLiteral("/PAC MAN.ZIP"));

    // Original extensions and case, into a folder asked for once, encrypted.
    QDir(f.src).remove(QStringLiteral("PAC MAN.ZIP"));
    QDir(f.src).remove(QStringLiteral("GAME.ZIP"));
    host.listFolder(f.src);
    host.opts.chkSaveZIPsinSameFolder = Check::Clear;
    host.opts.chkInfoFile = Check::Clear;
    host.opts.chkUseOriginalExtensions = Check::Ticked;
    host.opts.cmbFileCase = UseOriginalCase;
    host.opts.chkZIPPassword = Check::Ticked;
    host.opts.txtZIPPassword = QStringLiteral("s3cret");
    report = zip_files(zipRequest(host, f.out), host, host, zip);
    EXPECT_EQ(lastCode(report), 0);
    EXPECT_EQ(QDir(f.out).entryList(QDir::Files, QDir::Name),
              QStringList({"Pac Man.rom.zip", "game.bin.zip"}));
    expectSound(f.out + QStringLiteral("/game.bin.zip"), QStringLiteral("s3cret"));
    EXPECT_NE(runTool(QStringLiteral("7zz"), {"t", "-pwrong", f.out + "/game.bin.zip"}).exitCode,
              0);
    EXPECT_EQ(host.log.front(),
              QStringLiteral("Individually Zipping the Following Files to ") + f.out + u'/');

    EXPECT_EQ(perFileArchivePath(QStringLiteral("/A/B"), QStringLiteral("Pac Man.rom"), false,
                                 ZipNameCase::Lower),
              QStringLiteral("/A/B/pac man.zip"));
}

TEST(ZipFiles, SameNameWithOtherExtensionsShareOneArchiveAndTheLogSaysSo)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zipinfo"));
    Fixture f;
    f.make(QStringLiteral("mario.nes"), textBytes(1000, 1));
    f.make(QStringLiteral("mario.sav"), textBytes(100, 2));
    FakeHost host;
    host.listFolder(f.src);
    ZipComponent zip;
    EXPECT_EQ(lastCode(zip_files(zipRequest(host, f.out), host, host, zip)), 0);
    EXPECT_EQ(zipNames(f.out + QStringLiteral("/mario.zip")),
              QStringList({"mario.nes", "mario.sav"}));
    ASSERT_EQ(host.log.size(), 4);
    EXPECT_EQ(host.log[3], QStringLiteral("    (mario.sav goes into mario.zip with an earlier file "
                                          "of the same name)"));
}

TEST(ZipFiles, AddingToArchivesOfOtherToolsKeepsTheirEntries)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    Fixture f;
    f.make(QStringLiteral("new.nes"), textBytes(20000, 8));
    writeFile(f.out + QStringLiteral("/w/old.txt"), textBytes(5000, 9));
    writeFile(f.out + QStringLiteral("/w/sub/deep.txt"), noiseBytes(5000, 10));
    ASSERT_EQ(runTool("zip", {"-qr", "../byzip.zip", "."}, f.out + "/w").exitCode, 0);
    ASSERT_EQ(runTool("7zz", {"a", "-tzip", "-bd", "../by7z.zip", "."}, f.out + "/w").exitCode, 0);
    FakeHost host;
    host.opts.radOneZIP = true;
    ZipComponent zip;
    for (const char* name : {"/byzip.zip", "/by7z.zip"}) {
        const QString archive = f.out + QLatin1String(name);
        QStringList before = zipNames(archive);
        host.listFolder(f.src);
        EXPECT_EQ(lastCode(zip_files(zipRequest(host, archive), host, host, zip)), 0) << name;
        before.append(QStringLiteral("new.nes"));
        before.sort();
        EXPECT_EQ(zipNames(archive), before) << name;
        expectSound(archive);
        const ToolRun x = runTool("7zz", {"x", "-y", "-o" + f.out + "/x" + name, archive});
        ASSERT_EQ(x.exitCode, 0);
        EXPECT_EQ(readFile(f.out + "/x" + name + "/sub/deep.txt"), noiseBytes(5000, 10));
    }
}

TEST(ZipFiles, StopEndsPerFileRunAfterTheArchiveInHandAndCancelsASingleArchive)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zipinfo"));
    // Which archives are in hand when a given line reaches the log is exact with one worker;
    // ArchivePool's tests stop a batch of several.
    Fixture f;
    for (int i = 1; i <= 5; ++i)
        f.make(QStringLiteral("g%1.nes").arg(i), textBytes(20000, i));
    FakeHost host;
    host.workers = 1;
    host.listFolder(f.src);
    host.opts.chkDeleteFiles = Check::Ticked;
    // Pressed once g2's archive is written (its log lines wait for the flush of its group).
    ZipComponent zip;
    int written = 0;
    zip.setAfterWriteHook([&] {
        if (++written == 2)
            host.stop = true;
    });
    BatchReport report = zip_files(zipRequest(host, f.out), host, host, zip);
    EXPECT_EQ(report.end, BatchEnd::Stopped);
    EXPECT_EQ(report.exitStatus(), 3);
    EXPECT_EQ(lastCode(report), 0);
    EXPECT_TRUE(host.questions.isEmpty()) << host.questions.join(u'\n');
    EXPECT_EQ(QDir(f.out).entryList(QDir::Files, QDir::Name), QStringList({"g1.zip", "g2.zip"}));
    EXPECT_EQ(QDir(f.src).entryList(QDir::Files, QDir::Name),
              QStringList({"g3.nes", "g4.nes", "g5.nes"}));
    host.stop = false; // whoever runs the next batch clears the flag before it starts
    zip.setAfterWriteHook({});

    // One archive: Stop cancels it; the archive is not made and no source goes.
    host.listFolder(f.src);
    host.opts.radOneZIP = true;
    host.onLog = [&](const QString& line) {
        if (line.contains(QStringLiteral(" to ")))
            host.stop = true;
    };
    host.queueAnswer(MsgAnswer::Ok);
    report = zip_files(zipRequest(host, f.out + "/one.zip"), host, host, zip);
    EXPECT_EQ(lastCode(report), ZipAborted);
    EXPECT_EQ(report.end, BatchEnd::Stopped);
    EXPECT_EQ(report.exitStatus(), 3);
    EXPECT_EQ(host.questions,
              QStringList{QStringLiteral("Abort|The current process has been stopped")});
    EXPECT_FALSE(QFileInfo::exists(f.out + QStringLiteral("/one.zip")));
    EXPECT_EQ(QDir(f.src).entryList(QDir::Files).size(), 3);

    // One file per archive, a disc image among them: Stop cancels the image's archive too.
    host.stop = false;
    host.onLog = {};
    host.questions.clear();
    host.opts.radOneZIP = false;
    f.make(QStringLiteral("disc.bin"), textBytes(BufferBudget::kEntryCap + (8 << 20), 9));
    host.listFolder(f.src, false);
    for (int i = 0; i < host.fileCount(); ++i)
        host.select(i, host.fileName(i) == QStringLiteral("disc.bin"));
    QStringList seen;
    host.onStatus = [&](const QString& text) {
        seen.append(text);
        host.stop = host.stop || text.contains(QStringLiteral("[|||"));
    };
    host.queueAnswer(MsgAnswer::Ok);
    report = zip_files(zipRequest(host, f.out), host, host, zip);
    EXPECT_EQ(report.end, BatchEnd::Stopped);
    EXPECT_FALSE(QFileInfo::exists(f.out + QStringLiteral("/disc.zip")));
    EXPECT_TRUE(QFileInfo::exists(f.src + QStringLiteral("/disc.bin"))) << seen.join(u'\n');
}

TEST(ZipFiles, DeleteOriginalsRemovesOnlySourcesOfWrittenArchivesNeverTheInfoFile)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    Fixture f;
    f.make(QStringLiteral("small1.nes"), noiseBytes(20000, 1));
    f.make(QStringLiteral("large.nes"), noiseBytes(300000, 2));
    f.make(QStringLiteral("small2.nes"), noiseBytes(20000, 3));
    f.make(QStringLiteral("info.nfo"), "Collected by us");
    FakeHost host;
    host.listFolder(f.src);
    host.select(0, false); // info.nfo is listed but not selected
    host.opts.chkDeleteFiles = Check::Ticked;
    host.opts.chkInfoFile = Check::Ticked;
    // Written the long way round: it is still the info file, and must never be deleted.
    host.opts.txtInfoFile = f.src + QStringLiteral("/../Roms/info.nfo");
    host.opts.sliCompression = 0;
    host.queueAnswer(MsgAnswer::Ok);
    ZipComponent zip;

    // Writes beyond 200 KB fail: the large file's archive cannot be written.
    const auto zipLimited = [&](const QString& to) {
        const ScopedRlimit small(RLIMIT_FSIZE, 200 * 1024);
        EXPECT_TRUE(small.set());
        return zip_files(zipRequest(host, to), host, host, zip);
    };
    const BatchReport report = zipLimited(f.out);

    ASSERT_EQ(report.items.size(), 3u);
    EXPECT_NE(report.items[0].code, 0);
    EXPECT_EQ(report.items[0].result, ItemResult::Failed);
    EXPECT_EQ(report.failedCount(), 1);
    EXPECT_EQ(report.exitStatus(), 1);
    EXPECT_EQ(lastCode(report), 0);
    // The end message reports only the last archive; the failed one has its own log line.
    EXPECT_EQ(host.log.filter(QStringLiteral("Error zipping ")).size(), 1) << host.log.join(u'\n');
    EXPECT_TRUE(
        host.log.filter(QStringLiteral("Error zipping "))
            .value(0)
            .startsWith(QStringLiteral("Error zipping ") + f.out + QStringLiteral("/large.zip (")));
    EXPECT_TRUE(host.questions.isEmpty()) << host.questions.join(u'\n');
    EXPECT_EQ(QDir(f.src).entryList(QDir::Files, QDir::Name),
              QStringList({"info.nfo", "large.nes"}));
    EXPECT_EQ(readFile(f.src + QStringLiteral("/large.nes")), noiseBytes(300000, 2));
    EXPECT_EQ(QDir(f.out).entryList(QDir::Files, QDir::Name),
              QStringList({"small1.zip", "small2.zip"}));
    for (const char* name : {"/small1.zip", "/small2.zip"})
        expectSound(f.out + QLatin1String(name));

    // The same limit on one archive for all: nothing is deleted, and the message says so.
    host.listFolder(f.src);
    host.select(0, false);
    host.opts.radOneZIP = true;
    host.queueAnswer(MsgAnswer::Ok);
    const BatchReport one = zipLimited(f.out + "/all.zip");
    EXPECT_EQ(lastCode(one), ZipWriteError);
    ASSERT_EQ(host.questions.size(), 1);
    EXPECT_EQ(host.questions[0], QStringLiteral("Warning|Error #7 occurred while unzipping the "
                                                "files.\rThe zip file may not have been created."));
    EXPECT_EQ(QDir(f.src).entryList(QDir::Files, QDir::Name),
              QStringList({"info.nfo", "large.nes"}));
    EXPECT_FALSE(QFileInfo::exists(f.out + QStringLiteral("/all.zip")));
}

// An info file named in the settings but not ticked is no info file: a selected file at its
// path is zipped, counted and deleted like every other. It used to stay, unmentioned.
TEST(ZipFiles, AnUntickedInfoFileIsAnOrdinarySource)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zipinfo"));
    Fixture f;
    f.make(QStringLiteral("a.rom"), textBytes(1000, 1));
    FakeHost host;
    host.listFolder(f.src);
    host.opts.chkDeleteFiles = Check::Ticked;
    host.opts.chkInfoFile = Check::Clear;
    host.opts.txtInfoFile = f.src + QStringLiteral("/a.rom");
    ZipComponent zip;
    const BatchReport report = zip_files(zipRequest(host, f.out), host, host, zip);
    EXPECT_EQ(report.exitStatus(), 0);
    EXPECT_FALSE(QFileInfo::exists(f.src + QStringLiteral("/a.rom")));
    EXPECT_EQ(zipNames(f.out + QStringLiteral("/a.zip")), QStringList{"a.rom"});
    EXPECT_TRUE(host.statusTexts.contains(QStringLiteral("Zipping File 1 of 1 [||||||||||]")))
        << host.statusTexts.join(u'\n');
}

namespace {

// A host whose status panel fails the first time a zip shows its progress, so the progress
// handler meets an unexpected error inside the compression.
class FailingHost : public FakeHost
{
public:
    void setStatusText(const QString& text) override
    {
        if (!m_failed && text.startsWith(QStringLiteral("Zipping File "))) {
            m_failed = true;
            throw std::runtime_error("panel unavailable");
        }
        FakeHost::setStatusText(text);
    }

private:
    bool m_failed = false;
};

} // namespace

TEST(ZipFiles, AnUnexpectedErrorAsksAndNoEndsTheProgram)
{
    const QString uhOh =
        QStringLiteral("Uh oh!|Unexpected Error 5\rDo you want to try to continue?");
    struct Case
    {
        const char* fault;
        bool oneArchive;
        MsgAnswer answer;
        BatchEnd end;
        QStringList asked;
        QStringList written;
    };
    const std::vector<Case> cases = {
        {"No let the per-file batch go on",
         false,
         MsgAnswer::No,
         BatchEnd::EndProgram,
         {uhOh},
         {"a.zip"}},
        {"No let the one archive be written",
         true,
         MsgAnswer::No,
         BatchEnd::EndProgram,
         {uhOh, QStringLiteral("Abort|The current process has been stopped")},
         {}},
        {"Yes ended the per-file batch",
         false,
         MsgAnswer::Yes,
         BatchEnd::Finished,
         {uhOh},
         {"a.zip", "b.zip", "c.zip"}},
        {"Yes ended the one archive",
         true,
         MsgAnswer::Yes,
         BatchEnd::Finished,
         {uhOh},
         {"all.zip"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        Fixture f;
        for (const char* name : {"a.rom", "b.rom", "c.rom"})
            f.make(QLatin1String(name), textBytes(5000, 1));
        FailingHost host;
        host.workers = 1; // which archives follow the answer is exact with one worker
        host.listFolder(f.src);
        host.opts.radOneZIP = c.oneArchive;
        host.queueAnswer(c.answer);
        host.queueAnswer(MsgAnswer::Ok);
        ZipComponent zip;
        const BatchReport report =
            zip_files(zipRequest(host, c.oneArchive ? f.out + "/all.zip" : f.out), host, host, zip);
        EXPECT_EQ(report.end, c.end);
        EXPECT_EQ(host.questions, c.asked);
        ASSERT_FALSE(host.kinds.empty());
        EXPECT_EQ(host.kinds.front(), Question::ContinueAfterError);
        EXPECT_EQ(QDir(f.out).entryList(QDir::Files, QDir::Name), c.written);
    }
}
