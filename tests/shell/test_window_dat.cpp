// SPDX-License-Identifier: GPL-3.0-or-later
// The DAT page through the real window: a catalogue loaded, a made collection verified on the
// runner's thread, what the page shows of it, a fixdat written and a fix carried out.
#include "WindowTest.h"
#include "catalogue/CatalogueReader.h"
#include "common/DatCollection.h"
#include "common/Tools.h"
#include "shell/DatPage.h"
#include "shell/Dialogs.h"
#include "shell/frmKelmar.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QWindow>

#include <cstdio>
#include <map>

using namespace kelmar;
using namespace kelmar::test;

namespace {

const QByteArray RomA1 = "alpha one", RomA2 = "alpha two", RomB = "beta", RomG1 = "gamma one",
                 RomG2 = "gamma two", RomD = "delta", Junk = "no rom of the catalogue";

QString romLine(const char* name, const QByteArray& bytes)
{
    return QStringLiteral("    <rom name=\"%1\" size=\"%2\" crc=\"%3\"/>\n")
        .arg(QLatin1String(name))
        .arg(bytes.size())
        .arg(crcHex(bytes).toUpper());
}

// A catalogue of four sets and a collection holding one of each status, and a file that
// matches nothing: Alpha complete, Beta's ROM under another name (fixable), Gamma without its
// second ROM (incomplete), Delta nowhere (missing).
void makeCollection(const QString& catalogue, const QString& folder)
{
    const QString xml =
        QStringLiteral("<?xml version=\"1.0\"?>\n<datafile>\n  <header><name>Made</name>"
                       "<version>1</version></header>\n") +
        QStringLiteral("  <game name=\"Alpha\">\n") + romLine("a1.bin", RomA1) + romLine("a2.bin", RomA2) +
        QStringLiteral("  </game>\n  <game name=\"Beta\">\n") + romLine("b.bin", RomB) +
        QStringLiteral("  </game>\n  <game name=\"Gamma\">\n") + romLine("g1.bin", RomG1) +
        romLine("g2.bin", RomG2) + QStringLiteral("  </game>\n  <game name=\"Delta\">\n") +
        romLine("d.bin", RomD) + QStringLiteral("  </game>\n</datafile>\n");
    writeFile(catalogue, xml.toUtf8());
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(makeZip(folder + QStringLiteral("/Alpha.zip"), {{"a1.bin", RomA1}, {"a2.bin", RomA2}}));
    ASSERT_TRUE(makeZip(folder + QStringLiteral("/Beta.zip"), {{"beta (copy).bin", RomB}}));
    ASSERT_TRUE(makeZip(folder + QStringLiteral("/Gamma.zip"), {{"g1.bin", RomG1}}));
    ASSERT_TRUE(makeZip(folder + QStringLiteral("/junk.zip"), {{"junk.txt", Junk}}));
}

// The status column of every set, by name.
std::map<QString, QString> shownStatuses(const DatPage& page)
{
    std::map<QString, QString> out;
    const DatSetModel* sets = page.sets();
    for (int row = 0; row < sets->rowCount(); ++row)
        out[sets->index(row, DatSetModel::NameColumn).data().toString()] =
            sets->index(row, DatSetModel::StatusColumn).data().toString();
    return out;
}

QPushButton* button(frmKelmar& window, const char* name)
{
    return window.findChild<QPushButton*>(QLatin1String(name));
}

} // namespace

TEST(WindowDat, VerifiesAMadeCollectionAndShowsEachSetsStatus)
{
    QTemporaryDir config, folder, out;
    useTestSettings(config.path());
    const QString catalogue = out.filePath(QStringLiteral("made.dat"));
    ASSERT_NO_FATAL_FAILURE(makeCollection(catalogue, folder.path()));

    frmKelmar window(folder.path());
    ASSERT_TRUE(window.loaded());
    DatPage& page = *window.datPage();
    window.findChild<QTabWidget*>(QStringLiteral("Tabs"))->setCurrentWidget(&page);
    EXPECT_EQ(page.folder(), folder.path()); // the tree's folder
    ASSERT_TRUE(runBatch(window, [&] { page.openCatalogue(catalogue); }));
    EXPECT_EQ(shownStatuses(page).at(QStringLiteral("Gamma")), QStringLiteral("not verified"));
    ASSERT_TRUE(runBatch(window, [&] { button(window, "cmdVerify")->click(); }));

    EXPECT_EQ(page.countsText(),
              QStringLiteral("Complete 1  Fixable 1  Incomplete 1  Missing 1  Unknown 1"));
    const std::map<QString, QString> expected = {{"Alpha", "Complete"},
                                                 {"Beta", "Fixable"},
                                                 {"Gamma", "Incomplete"},
                                                 {"Delta", "Missing"}};
    EXPECT_EQ(shownStatuses(page), expected);
    EXPECT_EQ(page.unknownFiles(), QStringList{QStringLiteral("junk.zip")});
    // The table as filtered: by status, by text (any case), and sorted by status.
    auto* show = window.findChild<QComboBox*>(QStringLiteral("cboDatShow"));
    auto* filter = window.findChild<QLineEdit*>(QStringLiteral("txtDatFilter"));
    show->setCurrentText(QStringLiteral("Not complete"));
    EXPECT_EQ(page.filteredSets()->rowCount(), 3);
    filter->setText(QStringLiteral("AMM"));
    ASSERT_EQ(page.filteredSets()->rowCount(), 1);
    EXPECT_EQ(page.filteredSets()->index(0, 0).data().toString(), QStringLiteral("Gamma"));
    filter->clear();
    show->setCurrentText(QStringLiteral("All sets"));
    page.filteredSets()->sort(DatSetModel::StatusColumn, Qt::AscendingOrder);
    QStringList byStatus;
    for (int row = 0; row < page.filteredSets()->rowCount(); ++row)
        byStatus << page.filteredSets()->index(row, 0).data().toString();
    EXPECT_EQ(byStatus, QStringList({"Alpha", "Beta", "Gamma", "Delta"}));
    // The ROMs of a set as the table below shows them.
    page.roms()->showSet(page.view(), page.view().catalogue->findSet(QStringLiteral("Gamma")));
    ASSERT_EQ(page.roms()->rowCount(), 2);
    EXPECT_EQ(page.roms()->index(0, DatRomModel::StateColumn).data().toString(), QStringLiteral("ok"));
    EXPECT_EQ(page.roms()->index(0, DatRomModel::FoundColumn).data().toString(),
              QStringLiteral("Gamma.zip/g1.bin"));
    EXPECT_EQ(page.roms()->index(1, DatRomModel::StateColumn).data().toString(), QStringLiteral("missing"));

    // The fixdat holds what is missing and nothing else; an existing file is never in its way.
    const QString fixdat = out.filePath(QStringLiteral("fixdat.dat"));
    Dialogs::script().files.push_back(fixdat);
    button(window, "cmdFixdat")->click();
    QString error;
    const auto missing = catalogue::loadCatalogue(fixdat, &error);
    ASSERT_TRUE(missing) << error;
    ASSERT_EQ(missing->sets.size(), 2u);
    EXPECT_EQ(missing->sets[0].name + u' ' + missing->sets[1].name, QStringLiteral("Gamma Delta"));

    // Fix, once confirmed, names Beta's ROM after the catalogue and the page shows the result.
    Dialogs::script().messages.push_back(MsgAnswer::Yes);
    ASSERT_TRUE(runBatch(window, [&] { button(window, "cmdFix")->click(); }));
    EXPECT_EQ(shownStatuses(page).at(QStringLiteral("Beta")), QStringLiteral("Complete"));
    EXPECT_TRUE(window.logText().contains(QStringLiteral("b.bin"))) << window.logText();
    EXPECT_TRUE(allPresent(folder.path(), {RomA1, RomA2, RomB, RomG1, Junk}));

    window.close();
    QSettings ini(config.filePath(QStringLiteral("kelmar/kelmar.ini")), QSettings::IniFormat);
    EXPECT_EQ(ini.value(QStringLiteral("dat/RecentDATs")).toStringList(), QStringList{catalogue});
    Dialogs::script() = Dialogs::Script();
}

// The same window under a real X server, its Verify button pressed by xdotool: the test runs
// this test program again as the window's side (WindowDat.UnderX, skipped otherwise), which
// says where the button is and reports what the click did.
TEST(WindowDat, VerifyRunsOnARealClick)
{
    KELMAR_REQUIRE_TOOL("Xvfb");
    KELMAR_REQUIRE_TOOL("xdotool");
    expectMayRunPrograms(QStringLiteral("Xvfb"));
    QTemporaryDir work;
    ASSERT_NO_FATAL_FAILURE(
        makeCollection(work.filePath(QStringLiteral("made.dat")), work.filePath(QStringLiteral("roms"))));

    QProcess server;
    server.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                          QStringLiteral("-screen"), QStringLiteral("0"),
                                          QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                                          QStringLiteral("tcp")});
    ASSERT_TRUE(server.waitForStarted());
    while (!server.canReadLine() && server.waitForReadyRead(-1)) {
    }
    const QString display = QStringLiteral(":") + QString::fromLatin1(server.readLine().trimmed());
    ASSERT_GT(display.size(), 1);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("KELMAR_DAT_UNDER_X"), work.path());
    // As in tests/dist/check_window_x11.sh: libxkbcommon-x11 hands strndup a name the
    // sanitizer reads past as the xcb platform starts.
    if (env.contains(QStringLiteral("ASAN_OPTIONS")))
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":intercept_strndup=0"));
    QProcess side;
    side.setProcessEnvironment(env);
    side.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    side.start(QCoreApplication::applicationFilePath(),
               {QStringLiteral("--gtest_filter=WindowDat.UnderX")});
    ASSERT_TRUE(side.waitForStarted());
    QByteArray place;
    while (!place.contains("click ") && side.waitForReadyRead(-1))
        place += side.readAll();
    const QList<QByteArray> xy = place.mid(place.indexOf("click ") + 6).trimmed().split(' ');
    ASSERT_EQ(xy.size(), 2) << place.constData();

    QProcess pointer;
    QProcessEnvironment pointerEnv = QProcessEnvironment::systemEnvironment();
    pointerEnv.insert(QStringLiteral("DISPLAY"), display);
    pointer.setProcessEnvironment(pointerEnv);
    pointer.start(QStringLiteral("xdotool"),
                  {QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::fromLatin1(xy[0]),
                   QString::fromLatin1(xy[1]), QStringLiteral("click"), QStringLiteral("1")});
    ASSERT_TRUE(pointer.waitForFinished(-1));
    EXPECT_EQ(pointer.exitCode(), 0);
    ASSERT_TRUE(side.waitForFinished(-1));
    const QByteArray said = place + side.readAll();
    EXPECT_EQ(side.exitCode(), 0) << said.constData();
    EXPECT_TRUE(said.contains("shown: Complete 1  Fixable 1  Incomplete 1  Missing 1  Unknown 1"))
        << said.constData();
    server.terminate();
    server.waitForFinished(-1);
}

TEST(WindowDat, UnderX)
{
    const QString work = qEnvironmentVariable("KELMAR_DAT_UNDER_X");
    if (work.isEmpty())
        GTEST_SKIP() << "the window's side of WindowDat.VerifyRunsOnARealClick";
    useTestSettings(work + QStringLiteral("/config"));
    QSettings(work + QStringLiteral("/config/kelmar/kelmar.ini"), QSettings::IniFormat)
        .setValue(QStringLiteral("dat/RecentDATs"), QStringList{work + QStringLiteral("/made.dat")});
    frmKelmar window(work + QStringLiteral("/roms"));
    ASSERT_TRUE(window.loaded());
    DatPage& page = *window.datPage();
    window.findChild<QTabWidget*>(QStringLiteral("Tabs"))->setCurrentWidget(&page);
    window.show();
    // The page loads its newest catalogue as it first shows.
    waitUntil([&] {
        return window.windowHandle() && window.windowHandle()->isExposed() &&
               page.view().catalogue && !window.batchRunning();
    });
    QPushButton* verify = button(window, "cmdVerify");
    ASSERT_TRUE(verify->isEnabled());
    const QPoint at = verify->mapToGlobal(verify->rect().center());
    std::printf("click %d %d\n", at.x(), at.y());
    std::fflush(stdout);
    waitUntil([&] { return page.view().verified() && !window.batchRunning(); });
    std::printf("shown: %s\n", qPrintable(page.countsText()));
    std::fflush(stdout);
}
