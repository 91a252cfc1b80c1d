// SPDX-License-Identifier: GPL-3.0-or-later
// Entries deflated whole in memory and copied into the archive by libzip, read back by real
// tools: the way each kind of entry is written must be what every reader accepts.
#include "archive/BufferBudget.h"
#include "archive/ZipComponent.h"
#include "common/Tools.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace kelmar;
using namespace kelmar::test;

namespace {

// The first entry's method (0 stored, 8 deflated, 99 AES), whether its bytes match the file's
// (its size only, when encrypted) and its packed size, as Python's zipfile reads them; empty
// when Python could not read the archive.
QStringList pythonReadBack(const QString& archive, const QString& source, const QString& password)
{
    const QString script = QStringLiteral(
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "info = z.infolist()[0]\n"
        "data = open(sys.argv[2], 'rb').read()\n"
        "if sys.argv[3]:\n"
        "    print(info.compress_type, info.file_size == len(data), info.compress_size)\n"
        "else:\n"
        "    print(info.compress_type, z.read(info) == data, info.compress_size)\n");
    const ToolRun run = runTool(QStringLiteral("python3"),
                                {QStringLiteral("-c"), script, archive, source, password});
    return run.exitCode == 0 ? QString::fromUtf8(run.output).trimmed().split(u' ') : QStringList();
}

} // namespace

TEST(WholeDeflate, EveryKindOfEntryPassesUnzipSevenZipAndPython)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    const qsizetype cap = qsizetype(BufferBudget::kEntryCap);
    struct Case
    {
        const char* name; // the loss or fault it guards against
        QByteArray content;
        int level;
        QString password;
        const char* method; // as Python reports it
    };
    const Case cases[] = {
        {"empty file stored, not an empty deflate stream", QByteArray(), 6, {}, "0"},
        {"one byte that deflate would grow", QByteArray("x"), 6, {}, "0"},
        {"compressible data deflated", textBytes(300000, 1), 6, {}, "8"},
        {"incompressible data stored, never grown", noiseBytes(300000, 2), 6, {}, "0"},
        {"level 0 stores compressible data", textBytes(300000, 3), 0, {}, "0"},
        {"level 9 deflates", textBytes(300000, 4), 9, {}, "8"},
        {"entry at the cap deflated whole", textBytes(cap, 5), 6, {}, "8"},
        {"entry past the cap streamed", textBytes(cap + 1, 6), 6, {}, "8"},
        {"encrypted deflated entry authenticates", textBytes(300000, 7), 6, "pw", "99"},
        {"encrypted stored entry authenticates", noiseBytes(300000, 8), 6, "pw", "99"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("game.rom"));
        const QString archive = dir.filePath(QStringLiteral("game.zip"));
        writeFile(source, c.content);
        ZipComponent zip;
        zip.setLevel(c.level);
        zip.setPassword(c.password);
        zip.setArchivePath(archive);
        ASSERT_EQ(zip.compress({ZipSource::file(source, QStringLiteral("game.rom"))}), ZipOk)
            << zip.lastErrorDetail();
        ASSERT_EQ(zip.lastOutcome().stored.size(), 1u);

        const QString pass = c.password.isEmpty() ? QStringLiteral("-pnone") : "-p" + c.password;
        if (c.password.isEmpty()) {
            const ToolRun unzip = runTool(QStringLiteral("unzip"), {QStringLiteral("-t"), archive});
            EXPECT_EQ(unzip.exitCode, 0) << unzip.output.constData();
        }
        const ToolRun seven = runTool(QStringLiteral("7zz"), {QStringLiteral("t"), pass, archive});
        EXPECT_EQ(seven.exitCode, 0) << seven.output.constData();
        const QStringList ours = pythonReadBack(archive, source, c.password);
        ASSERT_EQ(ours.size(), 3);
        EXPECT_EQ(ours.at(0), QString::fromLatin1(c.method));
        EXPECT_EQ(ours.at(1), QStringLiteral("True"));
        EXPECT_EQ(zip.test(), ZipOk) << zip.lastErrorDetail();
    }
}
