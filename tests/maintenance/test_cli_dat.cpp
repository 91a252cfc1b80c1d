// SPDX-License-Identifier: GPL-3.0-or-later
// kelmar-cli dat, run as a program on a made collection.
#include "common/DatCollection.h"
#include "common/Tools.h"
#include "maintenance/CliRun.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

using namespace kelmar::test;

namespace {

struct Small
{
    QTemporaryDir home, dir;
    QString dat, roms;
    Small()
    {
        const QByteArray a = textBytes(100, 1), b = textBytes(200, 2);
        roms = dir.filePath(QStringLiteral("roms"));
        QDir().mkpath(roms);
        EXPECT_TRUE(makeZip(roms + QStringLiteral("/one.zip"),
                            {{QStringLiteral("a.bin"), a}, {QStringLiteral("x.txt"), "x"}}));
        dat = dir.filePath(QStringLiteral("small.dat"));
        writeFile(dat, QStringLiteral("clrmamepro ( name \"Small \\\"S\\\"\" version 2 )\n"
                                      "game ( name one rom ( name a.bin size 100 crc %1 ) )\n"
                                      "game ( name two rom ( name b.bin size 200 crc %2 ) )\n")
                           .arg(crcHex(a), crcHex(b))
                           .toUtf8());
    }
};

} // namespace

TEST(CliDat, VerifyJsonIsExactAndExitTellsCompleteness)
{
    Small s;
    const CliRun run = cli({QStringLiteral("dat"), QStringLiteral("verify"), QStringLiteral("--dat"),
                            s.dat, QStringLiteral("--json"), s.roms},
                           s.home.path());
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.out,
              QStringLiteral("{\n"
                             "    \"summary\": {\"complete\": 1, \"fixable\": 0, \"incomplete\": 0, \"missing\": 1, \"unknown\": 1},\n"
                             "    \"sets\": [\n"
                             "        {\"name\": \"one\", \"status\": \"complete\", \"roms\": [{\"name\": \"a.bin\", \"state\": \"ok\", \"found\": \"%1/one.zip/a.bin\"}]},\n"
                             "        {\"name\": \"two\", \"status\": \"missing\", \"roms\": [{\"name\": \"b.bin\", \"state\": \"missing\", \"found\": null}]}\n"
                             "    ],\n"
                             "    \"unknown\": [\n"
                             "        \"%1/one.zip/x.txt\"\n"
                             "    ]\n"
                             "}\n")
                  .arg(s.roms));

    // With the missing set's ROM in its archive, every set is complete.
    ASSERT_TRUE(makeZip(s.roms + QStringLiteral("/two.zip"), {{QStringLiteral("b.bin"), textBytes(200, 2)}}));
    const CliRun whole = cli({QStringLiteral("dat"), QStringLiteral("verify"), QStringLiteral("--dat"),
                              s.dat, s.roms},
                             s.home.path());
    EXPECT_EQ(whole.exitCode, 0) << whole.err;
    EXPECT_EQ(whole.out, QStringLiteral("unknown: %1/one.zip/x.txt\n2 complete, 0 fixable, 0 "
                                        "incomplete, 0 missing, 1 unknown\n")
                             .arg(s.roms));
}

TEST(CliDat, InfoJsonOneObjectOrAnArray)
{
    Small s;
    const QString one = QStringLiteral("{\"name\": \"Small \\\"S\\\"\", \"version\": \"2\", \"sets\": 2, \"roms\": 2, \"disks\": 0}");
    CliRun run = cli({QStringLiteral("dat"), QStringLiteral("info"), QStringLiteral("--json"), s.dat}, s.home.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, one + u'\n');
    run = cli({QStringLiteral("dat"), QStringLiteral("info"), QStringLiteral("--json"), s.dat, s.dat}, s.home.path());
    EXPECT_EQ(run.out, QStringLiteral("[\n    %1,\n    %1\n]\n").arg(one));
}

// Usage errors exit 2; a broken catalogue or a taken --out exits 1 and touches nothing.
TEST(CliDat, RefusalsAndTheirExitStatus)
{
    Small s;
    const QString bad = s.dir.filePath(QStringLiteral("bad.dat"));
    writeFile(bad, "game ( name x\n rom ( name y size 1 crc zz )\n)\n");
    const QString taken = s.dir.filePath(QStringLiteral("taken.xml"));
    writeFile(taken, "mine");
    struct Row
    {
        QStringList args;
        int status;
        QString err;
    } rows[] = {
        {{QStringLiteral("dat")}, 2, QStringLiteral("sub-command")},
        {{QStringLiteral("dat"), QStringLiteral("check")}, 2, QStringLiteral("unknown dat sub-command 'check'")},
        {{QStringLiteral("dat"), QStringLiteral("verify"), s.roms}, 2, QStringLiteral("needs --dat DAT")},
        {{QStringLiteral("dat"), QStringLiteral("verify"), QStringLiteral("--dat"), s.dat}, 2, QStringLiteral("at least one")},
        {{QStringLiteral("dat"), QStringLiteral("verify"), QStringLiteral("--hash"), QStringLiteral("md4"), QStringLiteral("--dat"), s.dat, s.roms}, 2, QStringLiteral("--hash takes crc or sha1")},
        {{QStringLiteral("dat"), QStringLiteral("fixdat"), QStringLiteral("--dat"), s.dat, s.roms}, 2, QStringLiteral("needs --out")},
        {{QStringLiteral("dat"), QStringLiteral("verify"), QStringLiteral("--dat"), bad, s.roms}, 1, QStringLiteral("bad.dat: line 2: crc 'zz' is not a hex number")},
        {{QStringLiteral("dat"), QStringLiteral("fixdat"), QStringLiteral("--dat"), s.dat, QStringLiteral("--out"), taken, s.roms}, 1, QStringLiteral("never replaces")},
    };
    for (const Row& r : rows) {
        const CliRun run = cli(r.args, s.home.path());
        EXPECT_EQ(run.exitCode, r.status) << r.args.join(u' ') << run.err;
        EXPECT_TRUE(run.err.contains(r.err)) << r.args.join(u' ') << ": " << run.err;
    }
    EXPECT_EQ(readFile(taken), QByteArray("mine"));
}

TEST(CliDat, FixDryRunChangesNothingAndFixDoes)
{
    Small s;
    ASSERT_TRUE(makeZip(s.roms + QStringLiteral("/draft.zip"), {{QStringLiteral("bee.bin"), textBytes(200, 2)}}));
    const QStringList args{QStringLiteral("dat"), QStringLiteral("fix"), QStringLiteral("--dat"), s.dat};
    CliRun run = cli(args + QStringList{QStringLiteral("--dry-run"), s.roms}, s.home.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.out.contains(QStringLiteral("rename %1/draft.zip to two.zip\nrename %1/two.zip/bee.bin to b.bin\n").arg(s.roms)))
        << run.out;
    EXPECT_FALSE(QFile::exists(s.roms + QStringLiteral("/two.zip")));
    run = cli(args + QStringList{s.roms}, s.home.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    run = cli({QStringLiteral("dat"), QStringLiteral("verify"), QStringLiteral("--dat"), s.dat, s.roms}, s.home.path());
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
}

// Clean lists what matches nothing; with --move-to it moves whole files only, never over
// a file of the same name.
TEST(CliDat, CleanListsAndMovesOnlyWholeUnknownFiles)
{
    Small s;
    ASSERT_TRUE(makeZip(s.roms + QStringLiteral("/junk.zip"), {{QStringLiteral("j.bin"), "junk"}}));
    writeFile(s.roms + QStringLiteral("/notes.txt"), "notes");
    const QString bin = s.dir.filePath(QStringLiteral("bin"));
    QDir().mkpath(bin);
    writeFile(bin + QStringLiteral("/notes.txt"), "mine");
    const QStringList args{QStringLiteral("dat"), QStringLiteral("clean"), QStringLiteral("--dat"), s.dat};
    CliRun run = cli(args + QStringList{s.roms}, s.home.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, QStringLiteral("%1/junk.zip\n%1/notes.txt\n%1/one.zip/x.txt\n").arg(s.roms));
    run = cli(args + QStringList{QStringLiteral("--move-to"), bin, s.roms}, s.home.path());
    EXPECT_EQ(run.exitCode, 2) << run.err; // asks, and there is no terminal
    run = cli(args + QStringList{QStringLiteral("--move-to"), bin, QStringLiteral("--yes"), s.roms}, s.home.path());
    EXPECT_EQ(run.exitCode, 1) << run.err; // notes.txt's name is taken
    EXPECT_TRUE(QFile::exists(bin + QStringLiteral("/junk.zip")));
    EXPECT_FALSE(QFile::exists(s.roms + QStringLiteral("/junk.zip")));
    EXPECT_EQ(readFile(bin + QStringLiteral("/notes.txt")), QByteArray("mine"));
    EXPECT_EQ(readFile(s.roms + QStringLiteral("/notes.txt")), QByteArray("notes"));
    EXPECT_TRUE(QFile::exists(s.roms + QStringLiteral("/one.zip")));
}
