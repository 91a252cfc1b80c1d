// SPDX-License-Identifier: GPL-3.0-or-later
// The progress and listing handlers, driven by real component operations where it matters.
#include "archive/ZipComponent.h"
#include "common/FakeHost.h"
#include "common/Tools.h"
#include "maintenance/ArchiveEvents.h"
#include "maintenance/SourceDeletion.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <atomic>
#include <stdexcept>

using namespace kelmar;
using namespace kelmar::test;

TEST(ArchiveEvents, BarRoundsHalvesToTheEvenNeighbourAndClampsPercent)
{
    EXPECT_EQ(ArchiveEvents::progressBar(5), QStringLiteral(".........."));
    EXPECT_EQ(ArchiveEvents::progressBar(15), QStringLiteral("||........"));
    EXPECT_EQ(ArchiveEvents::progressBar(25), QStringLiteral("||........"));
    EXPECT_EQ(ArchiveEvents::progressBar(45), QStringLiteral("||||......"));
    EXPECT_EQ(ArchiveEvents::progressBar(55), QStringLiteral("||||||...."));
    EXPECT_EQ(ArchiveEvents::progressBar(95), QStringLiteral("||||||||||"));
    EXPECT_EQ(ArchiveEvents::progressBar(36), QStringLiteral("||||......"));
    EXPECT_EQ(ArchiveEvents::progressBar(-3), QStringLiteral(".........."));
    EXPECT_EQ(ArchiveEvents::progressBar(140), QStringLiteral("||||||||||"));
}

TEST(ArchiveEvents, ZippingFiveFilesWithAnInfoFileCountsToFiveOfFiveNotSix)
{
    FakeHost host;
    ZipComponent zip;
    ArchiveEvents events(host, host, nullptr, zip);
    events.setOperationKind(ArchiveEvents::ZipBatch);
    events.setRules({QStringLiteral("/roms/info.txt")});
    events.setTotalFileCount(5);
    events.setCurrentFileNumber(1);
    events.fileProgress(QStringLiteral("/roms/a.nes"), 30);
    EXPECT_EQ(host.statusTexts.last(), QStringLiteral("Zipping File 1 of 5 [|||.......]"));
    for (const char* name : {"a", "b", "c", "d"})
        events.fileProgress(QStringLiteral("/roms/%1.nes").arg(QLatin1String(name)), 100);
    events.fileProgress(QStringLiteral("/roms/info.txt"), 100);
    EXPECT_EQ(events.currentFileNumber(), 5);
    events.fileProgress(QStringLiteral("/roms/e.nes"), 100);
    EXPECT_EQ(host.statusTexts.last(), QStringLiteral("Zipping File 5 of 5 [||||||||||]"));

    events.setOperationKind(ArchiveEvents::RezipBatch);
    events.fileProgress(QStringLiteral("/roms/e.nes"), 45);
    EXPECT_EQ(host.statusTexts.last(), QStringLiteral("Rezipping File 5 of 5 [||||......]"));
    const int before = host.statusTexts.size();
    events.setOperationKind(ArchiveEvents::NoBatch);
    events.fileProgress(QStringLiteral("/roms/e.nes"), 50);
    EXPECT_EQ(host.statusTexts.size(), before) << "a batch with its own status text is left alone";
}

TEST(SourceDeletion, DeleteOriginalFilesOnlyOnceTheArchiveIsWrittenAndNeverTheInfoFile)
{
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.nes"));
    const QString b = dir.filePath(QStringLiteral("b.nes"));
    const QString hidden = dir.filePath(QStringLiteral(".hidden.nes"));
    const QString info = dir.filePath(QStringLiteral("info.txt"));
    for (const QString& f : {a, b, hidden, info})
        writeFile(f, textBytes(100000, 1));
    QFile::setPermissions(b, QFile::ReadOwner); // read-only goes too

    FakeHost host;
    ZipComponent zip;
    ArchiveEvents events(host, host, nullptr, zip);
    events.setOperationKind(ArchiveEvents::ZipBatch);
    events.setRules({info});
    SourceDeletion deletion(host, zip, {true, info});
    events.setTotalFileCount(3);
    events.setCurrentFileNumber(1);
    zip.setFileMask(a + u'\r' + b + u'\r' + hidden + u'\r' + info);
    zip.setLevel(6);

    // A compress that fails keeps every source.
    writeFile(dir.filePath(QStringLiteral("notes.zip")), "not an archive");
    zip.setArchivePath(dir.filePath(QStringLiteral("notes.zip")));
    EXPECT_EQ(zip.compress(0), ZipNotAZip);
    EXPECT_TRUE(QFileInfo::exists(a) && QFileInfo::exists(b));

    bool sourcesPresentWhileWriting = true;
    QObject::connect(&zip, &ZipComponent::fileProgress, [&](const QString&, int percent) {
        if (percent == 100)
            sourcesPresentWhileWriting = sourcesPresentWhileWriting && QFileInfo::exists(a);
    });
    zip.setArchivePath(dir.filePath(QStringLiteral("set.zip")));
    ASSERT_EQ(zip.compress(0), ZipOk) << zip.lastErrorDetail();
    EXPECT_TRUE(sourcesPresentWhileWriting);
    EXPECT_FALSE(QFileInfo::exists(a));
    EXPECT_FALSE(QFileInfo::exists(b));
    EXPECT_TRUE(QFileInfo::exists(hidden));
    EXPECT_TRUE(QFileInfo::exists(info));
    EXPECT_EQ(events.currentFileNumber(), 3);
}

TEST(ArchiveEvents, UnzipShowsTheFileInHandAndCountsFinishedFilesUpToTheTotal)
{
    FakeHost host;
    std::atomic<bool> endProgram{false};
    ArchiveEvents events(host, host, &endProgram);
    events.setOperationKind(ArchiveEvents::UnzipBatch);
    events.setTotalFileCount(1);
    events.fileProgress(QStringLiteral("/out/pac.rom"), 40);
    EXPECT_EQ(host.statusTexts.last(), QStringLiteral("Unzipping /out/pac.rom [||||......]"));
    events.fileProgress(QStringLiteral("/out/pac.rom"), 100);
    events.fileProgress(QStringLiteral("/out/man.rom"), 100);
    EXPECT_EQ(host.statusTexts.last(), QStringLiteral("Unzipping /out/man.rom [||||||||||]"));
    EXPECT_EQ(events.currentFileNumber(), 1) << "clamped to the total";
}

TEST(ArchiveEvents, ListingCollectsTheNames)
{
    FakeHost host;
    ZipComponent zip;
    ArchiveEvents events(host, host, nullptr, zip);
    events.entryListed(QStringLiteral("big.iso"), qint64(5) * 1024 * 1024 * 1024);
    events.entryListed(QStringLiteral("small.nes"), 40);
    EXPECT_EQ(events.listedNames(),
              (QStringList{QStringLiteral("big.iso"), QStringLiteral("small.nes")}));
}

namespace {

// A host whose status panel fails: the handler's unexpected-error path.
class BrokenOptionsHost : public FakeHost
{
public:
    void setStatusText(const QString&) override { throw std::runtime_error("panel unavailable"); }
};

} // namespace

TEST(ArchiveEvents, UnexpectedErrorAsksUhOhAndNoEndsTheProgramYesCarriesOn)
{
    BrokenOptionsHost host;
    ZipComponent zip;
    std::atomic<bool> endProgram{false};
    ArchiveEvents events(host, host, &endProgram, zip);
    int quits = 0;
    QObject::connect(&events, &ArchiveEvents::quitRequested, [&] { ++quits; });
    events.setOperationKind(ArchiveEvents::UnzipBatch);
    events.setTotalFileCount(2);

    host.queueAnswer(MsgAnswer::Yes);
    events.fileProgress(QStringLiteral("/out/a.nes"), 100);
    ASSERT_EQ(host.questions.size(), 1);
    EXPECT_EQ(host.questions.first(),
              QStringLiteral("Uh oh!|Unexpected Error 5\rDo you want to try to continue?"));
    EXPECT_EQ(quits, 0);
    EXPECT_FALSE(endProgram.load());

    // No ends the program through the batch's flag, and once it is set nothing more is asked.
    host.queueAnswer(MsgAnswer::No);
    events.fileProgress(QStringLiteral("/out/b.nes"), 100);
    events.fileProgress(QStringLiteral("/out/c.nes"), 100);
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(endProgram.load());
    EXPECT_EQ(host.questions.size(), 2);
}
