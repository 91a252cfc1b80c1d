// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/RebuildFixture.h"

#include "common/Tools.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <zlib.h>

namespace kelmar::test {

const char* const kUnpackedTime = "2001-02-03 04:05:06";

QList<ListedEntry> listEntries(const QString& archive)
{
    static const char* script = R"PY(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    for i in z.infolist():
        print("%s\t%d\t%d\t%04d-%02d-%02d %02d:%02d:%02d\t%d\t%d" % ((i.filename, i.CRC, i.compress_size) + i.date_time + (i.create_system, i.external_attr)))
)PY";
    QList<ListedEntry> entries;
    const ToolRun run =
        runTool(QStringLiteral("python3"), {QStringLiteral("-c"), QLatin1String(script), archive});
    for (const QByteArray& line : run.output.split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() != 6)
            continue;
        entries.append({QString::fromUtf8(f[0]), quint32(f[1].toULongLong()), f[2].toLongLong(),
                        QString::fromUtf8(f[3]), f[4].toInt(), quint32(f[5].toULongLong())});
    }
    return entries;
}

QMap<QString, QByteArray> unpackedFiles()
{
    return {{QStringLiteral("Game (USA).nes"), textBytes(60000, 1)},
            {QStringLiteral("sub/Bonus.nes"), noiseBytes(30000, 2)},
            {QStringLiteral("readme.txt"), textBytes(5000, 3)}};
}

QMap<QString, quint32> unpackedCrcs()
{
    QMap<QString, quint32> crcs;
    const QMap<QString, QByteArray> files = unpackedFiles();
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString leaf = it.key().mid(it.key().lastIndexOf(u'/') + 1);
        crcs.insert(leaf, quint32(crc32(0, reinterpret_cast<const Bytef*>(it.value().constData()),
                                        uInt(it.value().size()))));
    }
    return crcs;
}

QStringList makeInputArchives(const QString& folder, QStringList* encrypted)
{
    const QString work = folder + QStringLiteral("/.work");
    const QMap<QString, QByteArray> files = unpackedFiles();
    const QDateTime time = QDateTime::fromString(QLatin1String(kUnpackedTime), Qt::ISODate);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        writeFile(work + u'/' + it.key(), it.value());
        QFile f(work + u'/' + it.key());
        f.open(QIODevice::ReadWrite);
        f.setFileTime(time, QFileDevice::FileModificationTime);
    }
    const QStringList names{QStringLiteral("Game (USA).nes"), QStringLiteral("sub"),
                            QStringLiteral("readme.txt")};
    auto out = [&](const char* name) { return folder + u'/' + QLatin1String(name); };
    runTool(QStringLiteral("zip"), QStringList{"-qr", out("zip.zip")} + names, work);
    runTool(QStringLiteral("zip"),
            QStringList{"-qr", "-P", "secret", out("zip-crypto.zip")} + names, work);
    runTool(QStringLiteral("7zz"), QStringList{"a", "-tzip", out("7z.zip")} + names, work);
    runTool(QStringLiteral("7zz"),
            QStringList{"a", "-tzip", "-psecret", "-mem=AES256", out("7z-aes.zip")} + names, work);
    runTool(QStringLiteral("python3"),
            {QStringLiteral("-c"), QStringLiteral(R"PY(
import sys, zipfile, os
with zipfile.ZipFile(sys.argv[1], "w") as z:
    z.write("Game (USA).nes", compress_type=zipfile.ZIP_STORED)
    z.write("sub")
    z.write("sub/Bonus.nes", compress_type=zipfile.ZIP_DEFLATED)
    z.write("readme.txt", compress_type=zipfile.ZIP_DEFLATED)
)PY"),
             out("python.zip")},
            work);
    QDir(work).removeRecursively();
    if (encrypted)
        *encrypted = {QStringLiteral("zip-crypto.zip"), QStringLiteral("7z-aes.zip")};
    return {QStringLiteral("7z-aes.zip"), QStringLiteral("7z.zip"), QStringLiteral("python.zip"),
            QStringLiteral("zip-crypto.zip"), QStringLiteral("zip.zip")};
}

bool toolsAccept(const QString& archive, const QString& password, bool aes, QString* output)
{
    QStringList sevenArgs{QStringLiteral("t")};
    if (!password.isEmpty())
        sevenArgs << QStringLiteral("-p") + password;
    sevenArgs << archive;
    const ToolRun seven = runTool(QStringLiteral("7zz"), sevenArgs);
    bool ok = seven.exitCode == 0;
    QString text = QString::fromUtf8(seven.output);
    if (!aes) {
        QStringList unzipArgs{QStringLiteral("-tq")};
        if (!password.isEmpty())
            unzipArgs << QStringLiteral("-P") << password;
        const ToolRun unzip = runTool(QStringLiteral("unzip"), unzipArgs << archive);
        ok = ok && unzip.exitCode == 0;
        text += QString::fromUtf8(unzip.output);
    }
    if (output)
        *output = text;
    return ok;
}

} // namespace kelmar::test
