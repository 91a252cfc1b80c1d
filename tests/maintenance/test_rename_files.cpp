// SPDX-License-Identifier: GPL-3.0-or-later
// The renames over real files: no file is ever replaced or left under a temporary name, and
// every file that keeps its name is named in the log.
#include "common/FakeHost.h"
#include "common/HostFiles.h"
#include "common/Tools.h"
#include "maintenance/RenameFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <dirent.h>
#include <fcntl.h>
#include <iostream>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelmar;
using namespace kelmar::test;

namespace {

using Files = std::map<QByteArray, QByteArray>; // name bytes -> content

void make(const QString& folder, const Files& files)
{
    for (const auto& [name, content] : files) {
        const QByteArray path = QFile::encodeName(folder) + '/' + name;
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0) << path.constData();
        ASSERT_EQ(::write(fd, content.constData(), size_t(content.size())), content.size());
        ::close(fd);
    }
}

// Everything in the folder, hidden files included, by the bytes of its name.
Files contents(const QString& folder)
{
    Files files;
    const QByteArray base = QFile::encodeName(folder);
    DIR* dir = ::opendir(base.constData());
    while (const dirent* e = dir ? ::readdir(dir) : nullptr) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        QFile f(QFile::decodeName(base + '/' + name));
        struct stat st;
        ::lstat((base + '/' + name).constData(), &st);
        if (S_ISDIR(st.st_mode)) {
            files[name] = "<folder>";
        } else {
            const int fd = ::open((base + '/' + name).constData(), O_RDONLY);
            QByteArray bytes(4096, '\0');
            const ssize_t n = fd >= 0 ? ::read(fd, bytes.data(), 4096) : 0;
            ::close(fd);
            files[name] = bytes.left(n);
        }
    }
    if (dir)
        ::closedir(dir);
    return files;
}

// QTemporaryDir cannot remove a name that is not UTF-8; the bytes can.
void wipe(const QString& folder)
{
    for (const auto& [name, content] : contents(folder)) {
        const QByteArray path = QFile::encodeName(folder) + '/' + name;
        if (content == "<folder>")
            ::rmdir(path.constData());
        else
            ::unlink(path.constData());
    }
}

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

bool immutable(const QString& path, bool on)
{
    return runTool(QStringLiteral("chattr"),
                   {on ? QStringLiteral("+i") : QStringLiteral("-i"), path})
               .exitCode == 0;
}

struct Case
{
    const char* fault; // what the case prevents
    Files before;
    QStringList selected; // as the list shows them; a name may be gone by the time it runs
    std::function<BatchReport(FakeHost&)> run;
    Files after;
    QStringList log; // "%F" stands for the folder with its separator
    int failed = 0;
    int warnings = 0;                                             // "Warning." boxes answered
    std::function<bool(const QString& folder)> prepare = nullptr; // false: skip the case
    bool lockFolder = false; // the folder refuses every rename (root: immutable)
};

// A rename of the menu over the host's selection.
std::function<BatchReport(FakeHost&)> byRule(BatchReport (*rename)(const BatchFiles&, ProgressSink&,
                                                                    BatchQuestions&))
{
    return [rename](FakeHost& h) { return rename(selectedOf(h), h, h); };
}

// Lines ending in "*" are compared up to it: the system's own words follow.
void expectLog(const QStringList& actual, const QStringList& expected)
{
    ASSERT_EQ(actual.size(), expected.size()) << actual.join(u'\n');
    for (qsizetype i = 0; i < actual.size(); ++i) {
        if (expected[i].endsWith(u'*'))
            EXPECT_TRUE(actual[i].startsWith(expected[i].chopped(1))) << actual[i];
        else
            EXPECT_EQ(actual[i], expected[i]);
    }
}

} // namespace

TEST(RenameFiles, NoFileIsReplacedLostOrLeftUnderATemporaryName)
{
    const QByteArray notUtf8 = QByteArray("caf\xe9 (Europe).zip");
    const Case cases[] = {
        {"lower case replacing an existing lower-case file",
         {{"Game.ZIP", "upper"}, {"game.zip", "lower"}},
         {"Game.ZIP"},
         byRule(to_lower_case),
         {{"Game.ZIP", "upper"}, {"game.zip", "lower"}},
         {"Error renaming %FGame.ZIP! %Fgame.zip already exists."},
         1},
        {"two files of the batch given one name: the second would replace the first",
         {{"A B.nes", "first"}, {"AB .nes", "second"}},
         {"A B.nes", "AB .nes"},
         byRule(remove_spaces),
         {{"AB.nes", "first"}, {"AB .nes", "second"}},
         {"Error renaming %FAB .nes! %FAB.nes already exists."},
         1},
        {"a new name that would hide the file, over an existing hidden file",
         {{" .cfg", "visible"}, {".cfg", "hidden"}},
         {" .cfg"},
         byRule(remove_spaces),
         {{" .cfg", "visible"}, {".cfg", "hidden"}},
         {"Error renaming %F .cfg to %F.cfg: a name that starts with \".\" would hide the file"},
         1},
        {"a change of case only is no rename on a file system that tells case apart",
         {{"pac.zip", "pac"}},
         {"pac.zip"},
         byRule(to_upper_case),
         {{"PAC.ZIP", "pac"}},
         {},
         0},
        {"the second step of a temporary rename fails: the file gets its name back",
         {{"a.zip", "one file, two names"}},
         {"a.zip"},
         byRule(to_upper_case),
         {{"a.zip", "one file, two names"}, {"A.ZIP", "one file, two names"}},
         {"Error renaming %Fa.zip! %FA.ZIP already exists."},
         1,
         0,
         [](const QString& f) {
             // Two names of one file: the target is the file itself, as on a file system
             // that ignores case, yet it cannot take the name.
             return ::link(QFile::encodeName(f + "/a.zip").constData(),
                           QFile::encodeName(f + "/A.ZIP").constData()) == 0;
         }},
        {"a file whose new name another file of the batch gives up waits for it",
         {{"a.nes", "a"}, {"aa.nes", "aa"}},
         {"a.nes", "aa.nes"},
         [](FakeHost& h) { return find_and_replace(selectedOf(h), "a", "aa", h, h); },
         {{"aa.nes", "a"}, {"aaaa.nes", "aa"}},
         {},
         0},
        {"find and replace onto another file's name",
         {{"Super Mario.nes", "space"}, {"Super_Mario.nes", "underscore"}},
         {"Super Mario.nes"},
         [](FakeHost& h) { return find_and_replace(selectedOf(h), " ", "_", h, h); },
         {{"Super Mario.nes", "space"}, {"Super_Mario.nes", "underscore"}},
         {},
         1,
         1},
        {"a replacement holding a slash would move the file into a folder",
         {{"Super Mario.nes", "game"}},
         {"Super Mario.nes"},
         [](FakeHost& h) { return find_and_replace(selectedOf(h), " ", "/", h, h); },
         {{"Super Mario.nes", "game"}, {"Super", "<folder>"}},
         {"Error renaming %FSuper Mario.nes to %FSuper/Mario.nes: a file name cannot hold \"/\""},
         1,
         0,
         [](const QString& f) { return QDir(f).mkdir("Super"); }},
        {"a replacement holding a line feed would break every list the name is in",
         {{"Super Mario.nes", "game"}},
         {"Super Mario.nes"},
         [](FakeHost& h) { return find_and_replace(selectedOf(h), " ", "\n", h, h); },
         {{"Super Mario.nes", "game"}},
         {"Error renaming %FSuper Mario.nes to %FSuper\nMario.nes: a file name should not hold "
          "control characters"},
         1},
        {"a vanished file stops nothing",
         {{"zelda.nes", "z"}},
         {"gone.nes", "zelda.nes"},
         byRule(to_upper_case),
         {{"ZELDA.NES", "z"}},
         {"Error renaming %Fgone.nes: No such file or directory"},
         1},
        {"a name that is not UTF-8 is neither lost nor renamed by wrong bytes",
         {{notUtf8, "latin-1 name"}, {"tetris.gb", "t"}},
         {QFile::decodeName(notUtf8), "tetris.gb"},
         byRule(to_upper_case),
         {{notUtf8, "latin-1 name"}, {"TETRIS.GB", "t"}},
         {"Error renaming %F" + QFile::decodeName(notUtf8) +
          ": its name is not valid UTF-8; it keeps it"},
         1},
        {"a name the file system cannot hold",
         {{"Ab" + QByteArray(200, 'c') + "De.nes", "long"}},
         {"Ab" + QString(200, u'c') + "De.nes"},
         [](FakeHost& h) { return find_and_replace(selectedOf(h), "c", "cc", h, h); },
         {{"Ab" + QByteArray(200, 'c') + "De.nes", "long"}},
         {"Error renaming %FAb" + QString(200, u'c') + "De.nes to %FAb" + QString(400, u'c') +
          "De.nes: the new name is 408 bytes long; this file system takes 255"},
         1},
        {"names in other scripts keep every letter",
         {{"pok\xc3\xa9mon stra\xc3\x9f"
           "e \xd0\xbc\xd0\xb8\xd1\x80.gb",
           "u"}},
         {u8("pok\xc3\xa9mon stra\xc3\x9f"
             "e \xd0\xbc\xd0\xb8\xd1\x80.gb")},
         byRule(to_capital_case),
         {{"Pok\xc3\xa9mon Stra\xc3\x9f"
           "e \xd0\x9c\xd0\xb8\xd1\x80.gb",
           "u"}},
         {},
         0},
        {"a folder that refuses renames: each file is named and keeps its name",
         {{"a.nes", "a"}, {"b.nes", "b"}},
         {"a.nes", "b.nes"},
         byRule(to_upper_case),
         {{"a.nes", "a"}, {"b.nes", "b"}},
         {"Error renaming %Fa.nes to %FA.NES: *", "Error renaming %Fb.nes to %FB.NES: *"},
         2,
         0,
         nullptr,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        QTemporaryDir dir;
        const QString folder = QDir::cleanPath(dir.path());
        make(folder, c.before);
        if (c.prepare && !c.prepare(folder)) {
            ADD_FAILURE() << "could not prepare";
            continue;
        }
        Files expected = c.after;
        FakeHost host;
        host.setFiles(folder, c.selected, std::vector<bool>(std::size_t(c.selected.size()), true));
        for (int i = 0; i < c.warnings; ++i)
            host.queueAnswer(MsgAnswer::Ok);
        const bool root = ::geteuid() == 0;
        if (c.lockFolder && root)
            KELMAR_REQUIRE_TOOL(QStringLiteral("chattr"));
        if (c.lockFolder) {
            if (root ? !immutable(folder, true)
                     : !QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner)) {
                std::cout << "skipped, this file system cannot lock a folder: " << c.fault << '\n';
                continue;
            }
        }
        const BatchReport report = c.run(host);
        if (c.lockFolder) {
            if (root)
                immutable(folder, false);
            else
                QFile::setPermissions(folder,
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        EXPECT_EQ(contents(folder), expected);
        QStringList log = c.log;
        log.replaceInStrings(QStringLiteral("%F"), folder + u'/');
        expectLog(host.log, log);
        EXPECT_EQ(report.failedCount(), c.failed);
        EXPECT_EQ(int(host.questions.size()), c.warnings) << host.questions.join(u'\n');
        wipe(folder);
    }
}

// The manual rename: one input box per selected file, answered in turn.
TEST(RenameFiles, ManualRenameSkipsCancelledAnswersAndNeverTakesATakenName)
{
    QTemporaryDir dir;
    const QString f = QDir::cleanPath(dir.path()) + u'/';
    make(f, {{"cancel.nes", "1"},
             {"colon.nes", "2"},
             {"same.nes", "3"},
             {"taken.nes", "4"},
             {"empty.nes", "5"},
             {"case.nes", "6"},
             {"hidden.nes", "7"},
             {".secret", "8"}});
    ::chmod(QFile::encodeName(f + "cancel.nes").constData(), 0444);
    FakeHost host;
    const QStringList order = {"cancel.nes", "colon.nes", "same.nes",  "taken.nes",
                               "empty.nes",  "case.nes",  "hidden.nes"};
    host.setFiles(f.chopped(1), order, std::vector<bool>(order.size(), true));
    host.queueInput(std::nullopt);
    host.queueInput(QStringLiteral("a:b?.zip"));
    host.queueInput(QStringLiteral("same.nes"));
    host.queueInput(QStringLiteral("ab.zip")); // the name the second file takes just before
    host.queueInput(QStringLiteral("*?"));
    host.queueInput(QStringLiteral("CASE.nes"));
    host.queueInput(QStringLiteral(".secret"));

    const BatchReport report = to_manual_name(selectedOf(host), host, host);

    EXPECT_EQ(host.questions.size(), 7);
    EXPECT_EQ(host.questions.value(0), QStringLiteral("Rename|Enter new name: "));
    EXPECT_EQ(contents(f), (Files{{"cancel.nes", "1"},
                                  {"ab.zip", "2"},
                                  {"same.nes", "3"},
                                  {"taken.nes", "4"},
                                  {"empty.nes", "5"},
                                  {"CASE.nes", "6"},
                                  {"hidden.nes", "7"},
                                  {".secret", "8"}}));
    expectLog(host.log, {"Error! File " + f + "same.nes already exists.",
                         "Error! File " + f + "ab.zip already exists.",
                         "Error renaming " + f + "hidden.nes to " + f +
                             ".secret: a name that starts with \".\" would hide the file"});
    EXPECT_EQ(report.count(ItemResult::Done), 2);
    // Normal attributes for every selected file, the skipped ones too.
    EXPECT_TRUE(QFileInfo(f + "cancel.nes").permissions() & QFile::WriteOwner);
}
