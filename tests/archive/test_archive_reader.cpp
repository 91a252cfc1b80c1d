// SPDX-License-Identifier: GPL-3.0-or-later
// One reader, one open: listing, testing and extracting an archive all read the handle opened
// first, and an archive that cannot be opened is not tried again.
#include "RawZip.h"
#include "archive/ArchiveReader.h"
#include "archive/ZipError.h"
#include "common/Tools.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <zlib.h>

#include <optional>

using namespace kelmar;
using namespace kelmar::test;

namespace {

RawEntry storedEntry(const QByteArray& name, const QByteArray& data, quint32 crcDelta = 0)
{
    RawEntry entry;
    entry.name = name;
    entry.data = data;
    entry.size = quint64(data.size());
    entry.crc =
        quint32(::crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size()))) +
        crcDelta;
    return entry;
}

} // namespace

TEST(ArchiveReader, ListsTestsAndExtractsFromTheOneOpenArchive)
{
    const struct
    {
        const char* name;
        std::optional<QByteArray> bytes; // nothing: no file at all
        int listed;                      // the result of each operation in turn
        int tested;
        int extracted;
        size_t entries;
        size_t written;
    } rows[] = {
        {"a good archive", zipOf(storedEntry("a.nes", "data of a")), ZipOk, ZipOk, ZipOk, 1, 1},
        {"a CRC that lies", zipOf(storedEntry("a.nes", "data of a", 1)), ZipOk, ZipDamaged,
         ZipDamaged, 1, 0},
        {"no file", std::nullopt, ZipFileNotFound, ZipFileNotFound, ZipFileNotFound, 0, 0},
        {"an empty file", QByteArray(), ZipNotAZip, ZipNotAZip, ZipNotAZip, 0, 0},
        {"not an archive", QByteArray("just some text, no zip here"), ZipNotAZip, ZipNotAZip,
         ZipNotAZip, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a.zip"));
        if (row.bytes)
            writeFile(path, *row.bytes);
        const int before = ArchiveReader::opens();
        ArchiveReader reader(path, QString());
        std::vector<ArchiveEntry> entries;
        EXPECT_EQ(reader.list(&entries), row.listed) << reader.detail().toStdString();
        EXPECT_EQ(entries.size(), row.entries);
        EXPECT_EQ(reader.test(), row.tested) << reader.detail().toStdString();
        ExtractSettings settings;
        settings.destination = dir.filePath(QStringLiteral("out"));
        ExtractManifest manifest;
        EXPECT_EQ(reader.extract(settings, &manifest), row.extracted);
        EXPECT_EQ(manifest.files.size(), row.written);
        EXPECT_EQ(ArchiveReader::opens() - before, 1);
        EXPECT_EQ(reader.detail().isEmpty(), row.extracted == ZipOk);
        if (row.written == 1) {
            EXPECT_EQ(readFile(manifest.files[0].path), "data of a");
            EXPECT_TRUE(manifest.files[0].identity.has_value());
        }
    }
}
