// SPDX-License-Identifier: GPL-3.0-or-later
// kelmar-cli rename, run as a program on real folders.
#include "common/Tools.h"
#include "maintenance/CliRun.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

using namespace kelmar::test;

namespace {

QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

TEST(CliRename, DryRunShowsEveryRenameAndCollisionAndChangesNothing)
{
    QTemporaryDir home, dir;
    const QString f = QDir::cleanPath(dir.path());
    writeFile(f + "/Game.ZIP", "upper");
    writeFile(f + "/game.zip", "lower");
    writeFile(f + QString::fromUtf8("/Pok\xc3\xa9mon Stra\xc3\x9f"
                                    "e.gb"),
              "u");
    const QStringList before = namesIn(f);

    CliRun run = cli({"rename", "--lower", "--dry-run", f}, home.path());
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.out.split(u'\n', Qt::SkipEmptyParts),
              QStringList({f + "/Game.ZIP -> " + f + "/game.zip: collision, " + f +
                               "/game.zip has that name",
                           f +
                               QString::fromUtf8("/Pok\xc3\xa9mon Stra\xc3\x9f"
                                                 "e.gb -> ") +
                               f +
                               QString::fromUtf8("/pok\xc3\xa9mon stra\xc3\x9f"
                                                 "e.gb")}));
    EXPECT_EQ(namesIn(f), before);

    run = cli({"rename", "--lower", f}, home.path());
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.out, "Error renaming " + f + "/Game.ZIP! " + f +
                           "/game.zip already exists.\n"
                           "Renamed 1 file, 1 already so named, 1 failed: see the log\n");
    EXPECT_EQ(readFile(f + "/Game.ZIP"), "upper");
    EXPECT_EQ(readFile(f + "/game.zip"), "lower");
    EXPECT_TRUE(QFile::exists(f + QString::fromUtf8("/pok\xc3\xa9mon stra\xc3\x9f"
                                                    "e.gb")));

    run = cli({"rename", "--find", " ", "--replace", "_", f + "/Game.ZIP",
               f + QString::fromUtf8("/pok\xc3\xa9mon stra\xc3\x9f"
                                     "e.gb")},
              home.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(QFile::exists(f + QString::fromUtf8("/pok\xc3\xa9mon_stra\xc3\x9f"
                                                    "e.gb")));

    for (const QStringList& bad :
         {QStringList{"rename", f}, QStringList{"rename", "--lower", "--upper", f},
          QStringList{"rename", "--find", "a", f},
          QStringList{"rename", "--find", "a", "--replace", "b/c", f},
          QStringList{"rename", "--find", "", "--replace", "b", f}})
        EXPECT_EQ(cli(bad, home.path()).exitCode, 2) << bad.join(u' ');
}
