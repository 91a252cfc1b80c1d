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
}
