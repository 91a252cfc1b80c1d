// SPDX-License-Identifier: GPL-3.0-or-later
// kelmar-cli test and unzip on archives of every compression method they read, made by
// 7-Zip and by Python's zipfile with the zstd tool.
#include "common/PythonZip.h"
#include "common/Tools.h"
#include "maintenance/CliRun.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

using namespace kelmar::test;

TEST(CliMethods, TestAndUnzipReadEveryMethodByteForByte)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("zstd"));
    QTemporaryDir home, dir;
    const QString work = dir.filePath(QStringLiteral("w"));
    const QByteArray rom = textBytes(150000, 3) + noiseBytes(20000, 4) + QByteArray(70000, '\0');
    writeFile(work + QStringLiteral("/disc.iso"), rom);
    const QString zips = dir.filePath(QStringLiteral("zips"));
    QDir().mkpath(zips);
    for (const QString& method : {QStringLiteral("Deflate64"), QStringLiteral("LZMA"),
                                  QStringLiteral("XZ"), QStringLiteral("BZip2")}) {
        ASSERT_EQ(
            runTool(QStringLiteral("7zz"),
                    {QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-bd"),
                     QStringLiteral("-mm=") + method, zips + u'/' + method + QStringLiteral(".zip"),
                     QStringLiteral("disc.iso")},
                    work)
                .exitCode,
            0);
    }
    ASSERT_TRUE(pythonZip(work, zips + QStringLiteral("/Zstandard.zip"), QStringLiteral("zstd")));

    CliRun run = cli({QStringLiteral("test"), zips}, home.path());
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    // No log line for a good archive: the summary alone.
    EXPECT_EQ(run.out, "Tested 5 archives: 5 good, 0 bad, 0 could not be tested\n");

    const QString out = dir.filePath(QStringLiteral("out"));
    run = cli(
        {QStringLiteral("unzip"), QStringLiteral("--to"), out, QStringLiteral("--folders"), zips},
        home.path());
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    for (const QString& method :
         {QStringLiteral("Deflate64"), QStringLiteral("LZMA"), QStringLiteral("XZ"),
          QStringLiteral("BZip2"), QStringLiteral("Zstandard")}) {
        EXPECT_TRUE(readFile(out + u'/' + method + QStringLiteral("/disc.iso")) == rom) << method;
    }
}
