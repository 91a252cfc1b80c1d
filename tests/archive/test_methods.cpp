// SPDX-License-Identifier: GPL-3.0-or-later
// Entries compressed with every method found in real collections, made by real tools:
// Kelmar judges them as 7-Zip does and extracts them byte for byte.
#include "CorpusFixture.h"
#include "RawZip.h"
#include "archive/ArchiveRebuilder.h"
#include "archive/ZipComponent.h"
#include "common/PythonZip.h"
#include "common/Tools.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <functional>

using namespace kelmar;
using namespace kelmar::test;

namespace {

using Build = std::function<bool(const QString& sources, const QString& archive)>;

Build sevenZip(const QStringList& options)
{
    return [options](const QString& sources, const QString& archive) {
        return runTool(QStringLiteral("7zz"),
                       QStringList{QStringLiteral("a"), QStringLiteral("-tzip"),
                                   QStringLiteral("-bd")} +
                           options + QStringList{archive, QStringLiteral(".")},
                       sources)
                   .exitCode == 0;
    };
}

Build python(const QString& method)
{
    return [method](const QString& sources, const QString& archive) {
        return pythonZip(sources, archive, method);
    };
}

const QString kSecret = QStringLiteral("s3cret");

bool sameFiles(const QString& expected, const QString& actual, QString* difference)
{
    for (const QString& name : CorpusFixture::sourceNames()) {
        if (readFile(expected + u'/' + name) != readFile(actual + u'/' + name) ||
            !QFileInfo::exists(actual + u'/' + name)) {
            *difference = name;
            return false;
        }
    }
    return true;
}

} // namespace

TEST(Methods, EveryMethodReadIsTestedAndExtractedByteForByte)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("zstd"));
    struct Case
    {
        const char* name;
        Build build;
        QString password;
    };
    const QString aes = QStringLiteral("-mem=AES256");
    const QString password = QStringLiteral("-p") + kSecret;
    const std::vector<Case> cases = {
        {"WindowsStyleDeflate64", sevenZip({QStringLiteral("-mm=Deflate64")}), {}},
        {"Deflate64AtItsStrongest",
         sevenZip({QStringLiteral("-mm=Deflate64"), QStringLiteral("-mx9")}),
         {}},
        {"LzmaWithEndMarker", sevenZip({QStringLiteral("-mm=LZMA")}), {}},
        {"LzmaWithoutEndMarker", sevenZip({QStringLiteral("-mm=LZMA:eos=off")}), {}},
        {"Xz", sevenZip({QStringLiteral("-mm=XZ")}), {}},
        {"SevenZipBZip2", sevenZip({QStringLiteral("-mm=BZip2")}), {}},
        {"PythonLzma", python(QStringLiteral("lzma")), {}},
        {"PythonBZip2", python(QStringLiteral("bzip2")), {}},
        {"ZstandardStreamsInPythonsArchive", python(QStringLiteral("zstd")), {}},
        {"LzmaInAes256", sevenZip({QStringLiteral("-mm=LZMA"), password, aes}), kSecret},
        {"XzInAes128",
         sevenZip({QStringLiteral("-mm=XZ"), password, QStringLiteral("-mem=AES128")}), kSecret},
        {"Deflate64InZipCrypto", sevenZip({QStringLiteral("-mm=Deflate64"), password}), kSecret},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CorpusFixture fixture;
        const QString archive = fixture.path(QStringLiteral("case.zip"));
        ASSERT_TRUE(c.build(fixture.sources(), archive)) << "could not build the archive";
        ASSERT_EQ(runTool(QStringLiteral("7zz"),
                          {QStringLiteral("t"), QStringLiteral("-bd"),
                           QStringLiteral("-p") +
                               (c.password.isEmpty() ? QStringLiteral("none") : c.password),
                           archive})
                      .exitCode,
                  0);
        ZipComponent zip;
        zip.setArchivePath(archive);
        zip.setPassword(c.password);
        EXPECT_EQ(zip.test(), ZipOk) << zip.lastErrorDetail();
        const QString out = fixture.path(QStringLiteral("out"));
        zip.setExtractFolder(out);
        zip.setKeepFolderNames(true);
        EXPECT_EQ(zip.extract(), ZipOk) << zip.lastErrorDetail();
        QString difference;
        EXPECT_TRUE(sameFiles(fixture.sources(), out, &difference)) << difference;

        // Rezip reads every entry; removing non-ROMs reads back the entries it keeps.
        for (const RebuildPlan::Kind kind :
             {RebuildPlan::Kind::Recompress, RebuildPlan::Kind::RemoveEntries}) {
            const QString copy = fixture.path(QStringLiteral("rebuilt.zip"));
            QFile::remove(copy);
            ASSERT_TRUE(QFile::copy(archive, copy));
            RebuildPlan plan;
            plan.kind = kind;
            plan.readPassword = c.password;
            plan.removeMask = QStringLiteral("*.txt");
            ArchiveRebuilder rebuilder(plan);
            EXPECT_EQ(rebuilder.rebuild(copy), ZipOk) << rebuilder.lastErrorDetail();
            EXPECT_TRUE(rebuilder.changed());
            ZipComponent rebuilt;
            rebuilt.setArchivePath(copy);
            rebuilt.setPassword(kind == RebuildPlan::Kind::RemoveEntries ? c.password : QString());
            EXPECT_EQ(rebuilt.test(), ZipOk) << rebuilt.lastErrorDetail();
        }
    }
}

TEST(Methods, MethodsKelmarCannotReadAreNotJudgedNeverBad)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    CorpusFixture fixture;
    const QString ppmd = fixture.path(QStringLiteral("ppmd.zip"));
    ASSERT_TRUE(sevenZip({QStringLiteral("-mm=PPMd")})(fixture.sources(), ppmd));
    RawEntry unknown = firstEntry(ppmd);
    unknown.method = 77;
    const QString numbered = fixture.path(QStringLiteral("method77.zip"));
    writeFile(numbered, zipOf(unknown));
    for (const QString& archive : {ppmd, numbered}) {
        ZipComponent zip;
        zip.setArchivePath(archive);
        EXPECT_EQ(zip.test(), ZipUnsupported) << zip.lastErrorDetail();
        EXPECT_TRUE(zip.lastErrorDetail().contains(archive == ppmd ? QStringLiteral("PPMd")
                                                                   : QStringLiteral("method 77")))
            << zip.lastErrorDetail();
    }
}

// Each method's stream, damaged as disks and downloads damage data, is bad with a reason that
// names the method and the entry, as 7-Zip finds it bad too.
TEST(Methods, DamagedStreamsAreBadWithTheMethodInTheReason)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("zstd"));
    QTemporaryDir dir;
    const QString sources = dir.filePath(QStringLiteral("src"));
    writeFile(sources + QStringLiteral("/game.iso"),
              textBytes(200 * 1024, 7) + noiseBytes(3000, 8) + textBytes(50 * 1024, 7));
    struct Method
    {
        const char* name;
        Build build;
    };
    const std::vector<Method> methods = {
        {"Deflate64", sevenZip({QStringLiteral("-mm=Deflate64")})},
        {"LZMA", sevenZip({QStringLiteral("-mm=LZMA")})},
        {"LZMA", sevenZip({QStringLiteral("-mm=LZMA:eos=off")})},
        {"XZ", sevenZip({QStringLiteral("-mm=XZ")})},
        {"Zstandard", python(QStringLiteral("zstd"))},
    };
    struct Harm
    {
        const char* name;
        std::function<void(RawEntry&)> apply;
    };
    const std::vector<Harm> harms = {
        {"FlippedByte",
         [](RawEntry& e) { e.data[e.data.size() / 2] = char(e.data[e.data.size() / 2] ^ 0x55); }},
        {"StreamCutInHalf", [](RawEntry& e) { e.data.truncate(e.data.size() / 2); }},
        {"StreamLongerThanDeclared", [](RawEntry& e) { e.size -= 1; }},
        {"StreamShorterThanDeclared", [](RawEntry& e) { e.size += 1; }},
        {"WrongCrc", [](RawEntry& e) { e.crc ^= 1; }},
    };
    for (const Method& m : methods) {
        const QString original = dir.filePath(QStringLiteral("original.zip"));
        QFile::remove(original);
        ASSERT_TRUE(m.build(sources, original));
        for (const Harm& h : harms) {
            SCOPED_TRACE(std::string(m.name) + " " + h.name);
            RawEntry entry = firstEntry(original);
            ASSERT_EQ(entry.name, "game.iso");
            h.apply(entry);
            const QString archive = dir.filePath(QStringLiteral("case.zip"));
            writeFile(archive, zipOf(entry));
            ZipComponent zip;
            zip.setArchivePath(archive);
            EXPECT_EQ(zip.test(), ZipDamaged) << zip.lastErrorDetail();
            EXPECT_TRUE(zip.lastErrorDetail().startsWith(QLatin1String(m.name) +
                                                         QStringLiteral(" data ")) &&
                        zip.lastErrorDetail().contains(QStringLiteral(" in game.iso")))
                << zip.lastErrorDetail();
            EXPECT_NE(runTool(QStringLiteral("7zz"), {QStringLiteral("t"), archive}).exitCode, 0);
            // Unzip keeps nothing of a damaged entry.
            const QString out = dir.filePath(QStringLiteral("out"));
            zip.setExtractFolder(out);
            EXPECT_EQ(zip.extract(), ZipDamaged);
            EXPECT_TRUE(QDir(out).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        }
    }
}
