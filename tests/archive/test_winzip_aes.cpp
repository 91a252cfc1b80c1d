// SPDX-License-Identifier: GPL-3.0-or-later
// WinZip AES entries read in one pass (keys derived once) against the long way through libzip.
#include "CorpusFixture.h"
#include "archive/ArchiveReader.h"
#include "archive/EntryReader.h"
#include "archive/WinZipAes.h"
#include "archive/ZipComponent.h"
#include "archive/ZipError.h"
#include "common/Tools.h"

#include <gtest/gtest.h>

#include <QDir>

#include <zip.h>

#include <functional>

using namespace kelmar;
using namespace kelmar::test;

namespace {

const QString kSecret = QStringLiteral("s3cret");
constexpr int kAsBefore = -1; // the verdict of the long way, whatever it is

// The first failure of reading every entry the long way (libzip and Kelmar's stream decoders,
// as test read AES entries before), or ZipOk; null detail when libzip cannot open the archive.
int longWay(const QString& archive, const QString& password, QString* detail)
{
    int code = 0;
    zip_t* z = zip_open(QFile::encodeName(archive).constData(), ZIP_RDONLY, &code);
    if (!z)
        return -1;
    zip_set_default_password(z, password.toUtf8().constData());
    int result = ZipOk;
    for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0) && result == ZipOk; ++i) {
        EntryReader reader(z, zip_uint64_t(i), password.toUtf8());
        reader.setStreamEndChecked(true);
        result = reader.readAll();
        *detail = reader.detail();
    }
    zip_discard(z);
    return result;
}

bool sevenZip(CorpusFixture& f, const QStringList& options)
{
    return runTool(QStringLiteral("7zz"),
                   QStringList{QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-bd"),
                               QStringLiteral("-p") + kSecret} +
                       options +
                       QStringList{f.path(QStringLiteral("case.zip")), QStringLiteral(".")},
                   f.sources())
               .exitCode == 0;
}

bool kelmarZip(CorpusFixture& f)
{
    ZipComponent zip;
    zip.setArchivePath(f.path(QStringLiteral("case.zip")));
    zip.setFileMask(f.sources() + QStringLiteral("/*"));
    zip.setProcessSubfolders(true);
    zip.setKeepFolderNames(true);
    zip.setPassword(kSecret);
    return zip.compress(0) == ZipOk;
}

// Cuts the first entry with data short by 100 bytes, or to 10 (less than AES's salt and
// check bytes and code) when short: its compressed size, in both headers, says so.
bool cutFirstEntryShort(const QString& archive, int to)
{
    const char* kCut = R"PY(
import struct, sys
path, to = sys.argv[1], int(sys.argv[2])
b = bytearray(open(path, 'rb').read())
c = b.find(b'PK\x01\x02')
while struct.unpack_from('<I', b, c + 20)[0] == 0:
    c = b.find(b'PK\x01\x02', c + 4)
local = struct.unpack_from('<I', b, c + 42)[0]
size = struct.unpack_from('<I', b, c + 20)[0]
size = to if to else size - 100
struct.pack_into('<I', b, c + 20, size)
struct.pack_into('<I', b, local + 18, size)
open(path, 'wb').write(b)
)PY";
    return runTool(QStringLiteral("python3"),
                   {QStringLiteral("-c"), QString::fromLatin1(kCut), archive, QString::number(to)})
               .exitCode == 0;
}

bool cutShort(const QString& archive)
{
    return cutFirstEntryShort(archive, 0);
}

bool cutBelowOverhead(const QString& archive)
{
    return cutFirstEntryShort(archive, 10);
}

} // namespace

TEST(WinZipAes, KeysAreThoseOfPbkdf2HmacSha1)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    const QByteArray salt = QByteArray::fromHex("00112233445566778899aabbccddeeff");
    const QList<QByteArray> passwords = {"s3cret", QString::fromUtf8("pässwörd").toUtf8(),
                                         QByteArray(64, 'k'), QByteArray(100, 'l')};
    for (const QByteArray& password : passwords) {
        for (const int bits : {128, 192, 256}) {
            SCOPED_TRACE(password.toStdString() + " " + std::to_string(bits));
            const int length = bits / 4 + winzip_aes::kVerifierLength;
            const ToolRun python = runTool(
                QStringLiteral("python3"),
                {QStringLiteral("-c"),
                 QStringLiteral("import hashlib, sys; print(hashlib.pbkdf2_hmac('sha1', "
                                "bytes.fromhex(sys.argv[1]), bytes.fromhex(sys.argv[2]), 1000, "
                                "int(sys.argv[3])).hex())"),
                 QString::fromLatin1(password.toHex()),
                 QString::fromLatin1(salt.left(winzip_aes::saltLength(bits)).toHex()),
                 QString::number(length)});
            QByteArray keys(length, '\0');
            ASSERT_TRUE(winzip_aes::deriveKeys(
                password, reinterpret_cast<const unsigned char*>(salt.constData()), bits,
                reinterpret_cast<unsigned char*>(keys.data())));
            EXPECT_EQ(keys.toHex(), python.output.trimmed());
        }
    }
}

TEST(WinZipAes, OnePassKeepsEveryVerdictOfTestAndUnzip)
{
    KELMAR_REQUIRE_TOOL(QStringLiteral("7zz"));
    KELMAR_REQUIRE_TOOL(QStringLiteral("python3"));
    using Build = std::function<bool(CorpusFixture&)>;
    const QString aes256 = QStringLiteral("-mem=AES256");
    const struct
    {
        const char* name;
        Build build;
    } makers[] = {
        // 7-Zip writes AE-2 (no CRC); libzip AE-2 with the CRC kept.
        {"7zz deflate AES-256", [=](CorpusFixture& f) { return sevenZip(f, {aes256}); }},
        {"7zz stored AES-192",
         [](CorpusFixture& f) {
             return sevenZip(f, {QStringLiteral("-mx0"), QStringLiteral("-mem=AES192")});
         }},
        {"7zz deflate AES-128",
         [](CorpusFixture& f) { return sevenZip(f, {QStringLiteral("-mem=AES128")}); }},
        {"Kelmar AES-256", kelmarZip},
    };
    const struct
    {
        const char* name;
        bool (*harm)(const QString&);
        QString password;
        int expected;
    } faults[] = {
        {"good", nullptr, kSecret, ZipOk},
        {"wrong password", nullptr, QStringLiteral("wrong"), ZipPassword},
        {"flipped byte", &CorpusFixture::flipDataByte, kSecret, ZipDamaged},
        {"cut short", &cutShort, kSecret, ZipDamaged},
        // libzip refuses such a deflated entry with "Operation not supported" (a read error):
        // whatever the long way says, the one pass must say too.
        {"cut below the overhead", &cutBelowOverhead, kSecret, kAsBefore},
    };
    for (const auto& maker : makers) {
        for (const auto& fault : faults) {
            SCOPED_TRACE(std::string(maker.name) + ", " + fault.name);
            CorpusFixture f;
            const QString archive = f.path(QStringLiteral("case.zip"));
            ASSERT_TRUE(maker.build(f));
            if (fault.harm) {
                ASSERT_TRUE(fault.harm(archive));
            }
            ArchiveReader tested(archive, fault.password);
            const int result = tested.test();
            // A wrong password passes AES's two check bytes once in 65536 tries.
            if (fault.expected != kAsBefore &&
                !(fault.expected == ZipPassword && result == ZipDamaged)) {
                EXPECT_EQ(result, fault.expected) << tested.detail().toStdString();
            }
            QString before;
            if (longWay(archive, fault.password, &before) >= 0) {
                EXPECT_EQ(result, longWay(archive, fault.password, &before));
                EXPECT_EQ(tested.detail(), before);
            }
            ArchiveReader unzipped(archive, fault.password);
            ExtractSettings settings;
            settings.destination = f.path(QStringLiteral("out"));
            ExtractManifest manifest;
            EXPECT_EQ(unzipped.extract(settings, &manifest), result);
            if (result != ZipOk)
                continue;
            for (const QString& name : CorpusFixture::sourceNames())
                EXPECT_EQ(readFile(settings.destination + u'/' + name),
                          readFile(f.sources() + u'/' + name))
                    << name.toStdString();
        }
    }
}
