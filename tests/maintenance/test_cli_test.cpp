// SPDX-License-Identifier: GPL-3.0-or-later
// kelmar-cli test, run as a program on real folders.
#include "common/Tools.h"
#include "maintenance/CliRun.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace kelmar::test;

namespace {

void zipOne(const QString& folder, const QString& archive, const QStringList& extra = {})
{
    writeFile(folder + QStringLiteral("/w/rom.nes"), textBytes(30000, 1) + noiseBytes(30000, 2));
    ASSERT_EQ(runTool(QStringLiteral("zip"),
                      QStringList{QStringLiteral("-q"), QStringLiteral("-0")} + extra +
                          QStringList{folder + u'/' + archive, QStringLiteral("rom.nes")},
                      folder + QStringLiteral("/w"))
                  .exitCode,
              0);
    QDir(folder + QStringLiteral("/w")).removeRecursively();
}

void damage(const QString& path)
{
    QByteArray b = readFile(path);
    b[b.size() / 2] = char(b[b.size() / 2] ^ 0x11);
    writeFile(path, b);
}

} // namespace

TEST(CliTest, FolderOfArchivesGivesLogLinesAndExitStatusByWorstVerdict)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    QTemporaryDir home, dir;
    zipOne(dir.path(), QStringLiteral("good.zip"));
    CliRun run = cli({QStringLiteral("test"), dir.path()}, home.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Tested 1 archive: 1 good, 0 bad, 0 could not be tested\n");

    zipOne(dir.path(), QStringLiteral("Broken.ZIP"));
    damage(dir.filePath(QStringLiteral("Broken.ZIP")));
    zipOne(dir.path(), QStringLiteral("secret.zip"), {QStringLiteral("-P"), QStringLiteral("pw")});
    run = cli({QStringLiteral("test"), dir.path()}, home.path());
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << run.out;
    EXPECT_EQ(lines[0], QStringLiteral("Broken.ZIP is bad!"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("secret.zip could not be tested")));
    EXPECT_EQ(lines[3], QStringLiteral("Tested 3 archives: 1 good, 1 bad (set aside), 1 could "
                                       "not be tested"));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("Broken.ZIP.bad"))));

    // Only not-tested left; with the password flag everything is good.
    run = cli({QStringLiteral("test"), dir.path()}, home.path());
    EXPECT_EQ(run.exitCode, 3) << run.out;
    run = cli({QStringLiteral("test"), QStringLiteral("--password"), QStringLiteral("pw"),
               dir.filePath(QStringLiteral("secret.zip"))},
              home.path());
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
}

TEST(CliTest, PasswordComesFromTheSavedSettingsUnlessOverridden)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    QTemporaryDir home, dir;
    zipOne(dir.path(), QStringLiteral("secret.zip"), {QStringLiteral("-P"), QStringLiteral("pw")});
    writeFile(home.filePath(QStringLiteral("kelmar/kelmar.ini")),
              "[unzip%20settings]\nchkUnzipPassword=1\ntxtUnzipPassword=pw\n");
    EXPECT_EQ(cli({QStringLiteral("test"), dir.path()}, home.path()).exitCode, 0);
    EXPECT_EQ(
        cli({QStringLiteral("test"), QStringLiteral("--no-password"), dir.path()}, home.path())
            .exitCode,
        3);
    const QString other = home.filePath(QStringLiteral("other.ini"));
    writeFile(other, "[unzip%20settings]\nchkUnzipPassword=0\n");
    EXPECT_EQ(
        cli({QStringLiteral("--settings"), other, QStringLiteral("test"), dir.path()}, home.path())
            .exitCode,
        3);
}

TEST(CliTest, JsonReportNamesEachArchiveAndItsVerdict)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    QTemporaryDir home, dir;
    zipOne(dir.path(), QStringLiteral("a.zip"));
    zipOne(dir.path(), QStringLiteral("b.zip"));
    damage(dir.filePath(QStringLiteral("b.zip")));
    const CliRun run =
        cli({QStringLiteral("test"), QStringLiteral("--json"), dir.path()}, home.path());
    EXPECT_EQ(run.exitCode, 1);
    const QJsonObject doc = QJsonDocument::fromJson(run.out.toUtf8()).object();
    const QJsonArray archives = doc.value(QStringLiteral("archives")).toArray();
    ASSERT_EQ(archives.size(), 2) << run.out;
    EXPECT_EQ(archives[0].toObject().value(QStringLiteral("verdict")).toString(),
              QStringLiteral("good"));
    const QJsonObject b = archives[1].toObject();
    EXPECT_EQ(b.value(QStringLiteral("verdict")).toString(), QStringLiteral("bad"));
    EXPECT_EQ(b.value(QStringLiteral("code")).toInt(), 3);
    EXPECT_EQ(b.value(QStringLiteral("renamedTo")).toString(),
              dir.filePath(QStringLiteral("b.zip.bad")));
    EXPECT_EQ(doc.value(QStringLiteral("bad")).toInt(), 1);
}

TEST(CliTest, UsageErrorsExitWithTwoAndHelpDocumentsTheCommand)
{
    QTemporaryDir home;
    EXPECT_EQ(cli({}, home.path()).exitCode, 2);
    EXPECT_EQ(cli({QStringLiteral("frobnicate")}, home.path()).exitCode, 2);
    EXPECT_EQ(cli({QStringLiteral("test")}, home.path()).exitCode, 2);
    EXPECT_EQ(
        cli({QStringLiteral("test"), QStringLiteral("--bogus"), home.path()}, home.path()).exitCode,
        2);
    // A PATH that does not exist is reported and skipped, as other tools do: status 1.
    EXPECT_EQ(
        cli({QStringLiteral("test"), home.filePath(QStringLiteral("missing.zip"))}, home.path())
            .exitCode,
        1);
    const CliRun help = cli({QStringLiteral("--help")}, home.path());
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"test", "--json", "--password", "--settings", "Exit status"})
        EXPECT_TRUE(help.out.contains(QLatin1String(word))) << word;
    // The help is wrapped from the commands' tables: it fits a terminal.
    for (const QString& line : help.out.split(u'\n'))
        EXPECT_LE(line.size(), 80) << line.toStdString();
}

TEST(CliTest, BadArchiveReachedThroughALinkIsRenamedWhileItsTargetKeepsItsMode)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("zip"));
    QTemporaryDir home, dir, elsewhere;
    zipOne(elsewhere.path(), QStringLiteral("target.zip"));
    const QString target = elsewhere.filePath(QStringLiteral("target.zip"));
    damage(target);
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0400), 0);
    const QString link = dir.filePath(QStringLiteral("link.zip"));
    ASSERT_TRUE(QFile::link(target, link));

    const CliRun run = cli({QStringLiteral("test"), dir.path()}, home.path());
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("link.zip.bad"))).isSymLink());
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0400u);
}
