// SPDX-License-Identifier: GPL-3.0-or-later
// Files too large to deflate whole are deflated in blocks on several threads and joined into
// one stream: every reader must take the stream, and the archive must not depend on how many
// threads made it.
#include "archive/ArchiveRebuilder.h"
#include "archive/BlockDeflater.h"
#include "archive/BufferBudget.h"
#include "archive/ZipComponent.h"
#include "common/Tools.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

using namespace kelmar;
using namespace kelmar::test;

namespace {

int zipWith(const QString& source, const QString& archive, int level, const QString& password,
            int threads, std::function<bool()> cancel = {})
{
    ZipComponent zip;
    zip.setLevel(level);
    zip.setPassword(password);
    zip.setBlockThreads(threads);
    zip.setArchivePath(archive);
    zip.setCancelCheck(std::move(cancel));
    return zip.compress({ZipSource::file(source, QStringLiteral("disc.bin"))});
}

// unzip -t, 7zz t and Kelmar's own test pass, and Python reads back the file's bytes.
void expectEveryReaderAgrees(const QString& archive, const QString& source,
                             const QString& password)
{
    const QString pass = password.isEmpty() ? QStringLiteral("none") : password;
    if (password.isEmpty()) // UnZip 6 knows no AES
        EXPECT_EQ(runTool(QStringLiteral("unzip"), {"-tq", archive}).exitCode, 0);
    EXPECT_EQ(runTool(QStringLiteral("7zz"), {"t", "-p" + pass, archive}).exitCode, 0);
    ZipComponent zip;
    zip.setArchivePath(archive);
    zip.setPassword(password);
    EXPECT_EQ(zip.test(), ZipOk) << zip.lastErrorDetail();
    if (password.isEmpty()) {
        const QString script = QStringLiteral(
            "import sys, zipfile\n"
            "z = zipfile.ZipFile(sys.argv[1])\n"
            "sys.exit(0 if z.read('disc.bin') == open(sys.argv[2], 'rb').read() else 1)\n");
        EXPECT_EQ(runTool(QStringLiteral("python3"), {"-c", script, archive, source}).exitCode, 0);
    }
}

} // namespace

TEST(BlockDeflate, EveryReaderTakesTheStreamAndThreadsNeverChangeIt)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    const qsizetype cap = qsizetype(BufferBudget::kEntryCap);
    const qsizetype block = qsizetype(BlockDeflater::kBlock);
    struct Case
    {
        const char* name;
        QByteArray content;
        int level;
        QString password;
    };
    const Case cases[] = {
        {"one byte past the cap: a last block of one byte", textBytes(cap + 1, 1), 6, {}},
        {"incompressible, blocks and a partial one", noiseBytes(cap + 2 * block + 12345, 2), 6,
         {}},
        {"all zeros at level 9", QByteArray(cap + 5 * block, '\0'), 9, {}},
        {"encrypted over the joined stream", textBytes(cap + 3 * block + 7, 3), 1, "pw"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("disc.bin"));
        writeFile(source, c.content);
        const QString one = dir.filePath(QStringLiteral("one.zip"));
        const QString three = dir.filePath(QStringLiteral("three.zip"));
        ASSERT_EQ(zipWith(source, one, c.level, c.password, 1), ZipOk);
        ASSERT_EQ(zipWith(source, three, c.level, c.password, 3), ZipOk);
        expectEveryReaderAgrees(three, source, c.password);
        if (c.password.isEmpty()) // AES salts are random
            EXPECT_EQ(readFile(one), readFile(three));

        // Rezip rebuilds the large entry the same way, whatever the number of threads.
        QByteArray rebuilt[2];
        for (int threads : {1, 2}) {
            RebuildPlan plan;
            plan.level = c.level;
            plan.readPassword = c.password;
            plan.blockThreads = threads;
            ASSERT_EQ(ArchiveRebuilder(plan).rebuild(one), ZipOk);
            rebuilt[threads - 1] = readFile(one);
        }
        expectEveryReaderAgrees(one, source, QString());
        EXPECT_EQ(rebuilt[0], rebuilt[1]);
    }
}

TEST(BlockDeflate, StopInTheMiddleLeavesTheArchiveAsItWas)
{
    QTemporaryDir dir;
    const QString small = dir.filePath(QStringLiteral("small.bin"));
    const QString large = dir.filePath(QStringLiteral("disc.bin"));
    writeFile(small, textBytes(1000, 1));
    writeFile(large, textBytes(BufferBudget::kEntryCap + 20 * BlockDeflater::kBlock, 2));
    const QString archive = dir.filePath(QStringLiteral("disc.zip"));
    ZipComponent first;
    first.setArchivePath(archive);
    ASSERT_EQ(first.compress({ZipSource::file(small, QStringLiteral("small.bin"))}), ZipOk);
    const QByteArray before = readFile(archive);

    ZipComponent zip;
    zip.setArchivePath(archive);
    zip.setBlockThreads(2);
    bool halfway = false;
    QObject::connect(&zip, &ZipComponent::fileProgress,
                     [&](const QString&, int percent) { halfway = halfway || percent >= 40; });
    zip.setCancelCheck([&] { return halfway; });
    EXPECT_EQ(zip.compress({ZipSource::file(large, QStringLiteral("disc.bin"))}), ZipAborted);
    EXPECT_EQ(readFile(archive), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);

    // The same in a rezip of the large entry.
    zip.setCancelCheck({});
    ASSERT_EQ(zip.compress({ZipSource::file(large, QStringLiteral("disc.bin"))}), ZipOk);
    const QByteArray zipped = readFile(archive);
    RebuildPlan plan;
    plan.level = 9;
    plan.blockThreads = 2;
    ArchiveRebuilder rebuilder(plan);
    bool rebuiltHalfway = false;
    rebuilder.onProgress = [&](const QString&, int percent) {
        rebuiltHalfway = rebuiltHalfway || percent >= 40;
    };
    rebuilder.cancelled = [&] { return rebuiltHalfway; };
    EXPECT_EQ(rebuilder.rebuild(archive), ZipAborted);
    EXPECT_EQ(readFile(archive), zipped);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

// The entries of one archive rebuilt on several threads: the same archive as on one, and a
// damaged entry worded as on one, the archive left as it was.
TEST(BlockDeflate, RezipOnSeveralThreadsWritesAndRefusesAsOnOne)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("unzip"));
    QTemporaryDir dir;
    const QString made = dir.filePath(QStringLiteral("made.zip"));
    // Entries deflated, stored, empty and incompressible; damage: one byte in the middle of
    // the fourth entry's data flipped.
    const QString script = QStringLiteral(
        "import random, sys, zipfile\n"
        "r = random.Random(7)\n"
        "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
        "    for i in range(8):\n"
        "        data = bytes(r.getrandbits(8) for _ in range(3000)) * (i + 1)\n"
        "        kind = zipfile.ZIP_STORED if i == 2 else zipfile.ZIP_DEFLATED\n"
        "        z.writestr('rom%d.bin' % i, data if i != 5 else b'', compress_type=kind)\n"
        "    z.writestr('noise.bin', r.randbytes(200000))\n"
        "if sys.argv[2] == 'damaged':\n"
        "    info = zipfile.ZipFile(sys.argv[1]).infolist()[3]\n"
        "    b = bytearray(open(sys.argv[1], 'rb').read())\n"
        "    o = info.header_offset\n"
        "    start = o + 30 + int.from_bytes(b[o+26:o+28], 'little') + "
        "int.from_bytes(b[o+28:o+30], 'little')\n"
        "    b[start + info.compress_size // 2] ^= 0x55\n"
        "    open(sys.argv[1], 'wb').write(b)\n");
    for (const char* kind : {"sound", "damaged"}) {
        SCOPED_TRACE(kind);
        ASSERT_EQ(runTool(QStringLiteral("python3"), {"-c", script, made, kind}).exitCode, 0);
        const QByteArray before = readFile(made);
        QByteArray after[2];
        int result[2];
        QString detail[2];
        for (int i = 0; i < 2; ++i) {
            const QString copy = dir.filePath(QStringLiteral("copy%1.zip").arg(i));
            writeFile(copy, before);
            RebuildPlan plan;
            plan.level = 9;
            plan.threads = i == 0 ? 1 : 3;
            ArchiveRebuilder rebuilder(plan);
            result[i] = rebuilder.rebuild(copy);
            detail[i] = rebuilder.lastErrorDetail();
            detail[i].replace(QStringLiteral("copy1"), QStringLiteral("copy0"));
            after[i] = readFile(copy);
        }
        EXPECT_EQ(result[0], result[1]);
        EXPECT_EQ(detail[0], detail[1]);
        EXPECT_EQ(after[0], after[1]);
        if (QByteArray(kind) == "damaged") {
            EXPECT_NE(result[1], ZipOk);
            EXPECT_EQ(after[1], before);
        } else {
            EXPECT_EQ(result[1], ZipOk) << detail[1].toStdString();
            EXPECT_EQ(runTool(QStringLiteral("unzip"),
                              {"-tqq", dir.filePath(QStringLiteral("copy1.zip"))})
                          .exitCode,
                      0);
        }
    }
}
