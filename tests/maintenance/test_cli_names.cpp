// SPDX-License-Identifier: GPL-3.0-or-later
// File and folder names that are not UTF-8, through the real kelmar-cli, judged by the bytes on
// disk and by what other zip tools read in the archives it writes.
#include "common/Scoped.h"
#include "common/Tools.h"
#include "maintenance/CliRun.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <optional>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelmar::test;

namespace {

// The names in a folder, as bytes, sorted.
QList<QByteArray> namesIn(const QByteArray& folder)
{
    QList<QByteArray> names;
    if (DIR* dir = ::opendir(folder.constData())) {
        while (const dirent* e = ::readdir(dir)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.append(QByteArray(e->d_name));
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// How Python's zipfile reads each entry of the archive: the UTF-8 flag, the host that made it,
// whether an Info-ZIP Unicode path field is there, and the name's stored bytes.
QList<QByteArray> entriesAsPythonReadsThem(const QString& archive)
{
    const ToolRun py =
        runTool("python3", {"-c",
                            "import sys,zipfile,struct\n"
                            "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
                            "  utf8=i.flag_bits & 0x800\n"
                            "  e,ids=i.extra,[]\n"
                            "  while len(e)>=4:\n"
                            "    k,n=struct.unpack('<HH',e[:4]); ids.append(k); e=e[4+n:]\n"
                            "  raw=i.filename.encode('utf-8' if utf8 else 'cp437')\n"
                            "  print(('utf8' if utf8 else 'raw'), i.create_system,\n"
                            "        'unicode-path' if 0x7075 in ids else '-', raw.hex())",
                            archive});
    EXPECT_EQ(py.exitCode, 0) << py.output.constData();
    QList<QByteArray> lines;
    for (const QByteArray& line : py.output.split('\n')) {
        QList<QByteArray> words = line.split(' ');
        if (words.size() == 4) {
            words.last() = QByteArray::fromHex(words.last());
            lines.append(words.join(' '));
        }
    }
    return lines;
}

} // namespace

// zip, unzip and folders to zips keep every byte of a name, a folder's too; an entry that is
// not UTF-8 is stored without the UTF-8 flag, as made on Unix, and unzip, 7-Zip, bsdtar and
// Python read it under the very same bytes.
TEST(CliNames, NamesThatAreNotUtf8KeepEveryByte)
{
    for (const char* tool : {"unzip", "7zz", "bsdtar", "python3"})
        KELMAR_REQUIRE_TOOL(tool);
    QTemporaryDir home, dir, plain;
    const QByteArray root = QFile::encodeName(dir.path());
    const QByteArray latin = "caf\xe9 (Fran\xe7"
                             "e).nes";
    const QByteArray utf8 = "caf\xc3\xa9.nes";
    const QByteArray games = root + "/G\xe9ms";
    ASSERT_EQ(::mkdir(games.constData(), 0755), 0);
    writeRaw(games + '/' + latin, "latin-1 name");
    writeRaw(games + '/' + utf8, "utf-8 name");

    // A target folder that is not UTF-8 is made under its own name, not a stray one.
    CliRun run = cliBytes({"zip", "--to", root + "/d\xff", "--case", "lower", games}, home.path());
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(namesIn(root), (QList<QByteArray>{"G\xe9ms", "d\xff"}));
    const QByteArray zips = root + "/d\xff/";
    EXPECT_EQ(namesIn(zips), (QList<QByteArray>{"caf\xc3\xa9.zip", "caf\xe9 (fran\xe7"
                                                                   "e).zip"}));

    const struct
    {
        QByteArray archive;
        QByteArray entry; // as Python reads it: the UTF-8 flag, the host, a Unicode path field
        QByteArray name;
    } stored[] = {
        {"caf\xe9 (fran\xe7"
         "e).zip",
         "raw 3 -", latin},
        {"caf\xc3\xa9.zip", "utf8 3 -", utf8},
    };
    // Each tool unpacks the archive (@) into a folder of its own (%).
    const QList<QStringList> extractors = {
        {"unzip", "-q", "@", "-d", "%"},
        {"7zz", "x", "-bd", "-o%", "@"},
        {"bsdtar", "-xf", "@", "-C", "%"},
    };
    // bsdtar converts a UTF-8 name to the locale's character set, which must hold it.
    std::optional<ScopedEnv> locale(std::in_place, "LC_ALL", "C.UTF-8");
    int number = 0;
    for (const auto& s : stored) {
        SCOPED_TRACE(s.archive.constData());
        // The tools get the archive under a plain name, and unpack into plain folders.
        const QString copy = plain.filePath(QStringLiteral("%1.zip").arg(++number));
        ASSERT_EQ(::link((zips + s.archive).constData(), QFile::encodeName(copy).constData()), 0);
        EXPECT_EQ(entriesAsPythonReadsThem(copy), QList<QByteArray>{s.entry + ' ' + s.name});
        EXPECT_EQ(runTool("unzip", {"-tqq", copy}).exitCode, 0);
        EXPECT_EQ(runTool("7zz", {"t", copy}).exitCode, 0);
        for (const QStringList& extractor : extractors) {
            SCOPED_TRACE(extractor.front().toStdString());
            const QString out = plain.filePath(
                QStringLiteral("%1-%2").arg(number).arg(extractors.indexOf(extractor)));
            QDir().mkpath(out);
            QStringList args = extractor.mid(1);
            args.replaceInStrings(QStringLiteral("@"), copy);
            args.replaceInStrings(QStringLiteral("%"), out);
            const ToolRun tool = runTool(extractor.front(), args);
            EXPECT_EQ(tool.exitCode, 0) << tool.output.constData();
            EXPECT_EQ(namesIn(QFile::encodeName(out)), QList<QByteArray>{s.name});
        }
    }

    locale.reset();

    // Unzipped back, into another folder that is not UTF-8: the very same names.
    run = cliBytes({"unzip", "--to", root + "/out\xe9", root + "/d\xff"}, home.path());
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(namesIn(root + "/out\xe9"), (QList<QByteArray>{utf8, latin}));

    // Two names that differ only in case, where the other bytes are not UTF-8: one archive
    // cannot hold both under those names.
    writeRaw(games + "/CAF\xe9 (FRAN\xe7"
                     "E).NES",
             "upper case");
    run = cliBytes({"zip", "--single", root + "/one.zip", games}, home.path());
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    const QString one = plain.filePath(QStringLiteral("one.zip"));
    ASSERT_EQ(::link((root + "/one.zip").constData(), QFile::encodeName(one).constData()), 0);
    const QList<QByteArray> entries = entriesAsPythonReadsThem(one);
    EXPECT_EQ(entries.size(), 3);
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                            [](const QByteArray& e) {
                                return e.contains(" (2).") && e.startsWith("raw 3 -");
                            }),
              1)
        << entries.join('\n').constData();

    // Folders to zips finds the folder that is not UTF-8 and names its archive after it.
    run = cliBytes({"folders-to-zips", root}, home.path());
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    const QString copy = plain.filePath(QStringLiteral("games.zip"));
    ASSERT_EQ(::link((root + "/G\xe9ms.zip").constData(), QFile::encodeName(copy).constData()), 0);
    EXPECT_EQ(entriesAsPythonReadsThem(copy).size(), 3);
    runTool("rm", {"-rf", dir.path()}); // QTemporaryDir cannot remove a name that is not UTF-8
}
