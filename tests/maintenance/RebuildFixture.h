// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

namespace kelmar::test {

// One entry as Python's zipfile lists it.
struct ListedEntry
{
    QString name;
    quint32 crc = 0;
    qint64 compressedSize = 0;
    QString time; // "YYYY-MM-DD hh:mm:ss", as the entry stores it
    int system = 0;
    quint32 external = 0;
};
QList<ListedEntry> listEntries(const QString& archive);

// The files every input archive holds, with their modification time kUnpackedTime:
// "Game (USA).nes", "sub/Bonus.nes" and "readme.txt".
extern const char* const kUnpackedTime;
QMap<QString, QByteArray> unpackedFiles();
// The CRC of each file, by its name without folders.
QMap<QString, quint32> unpackedCrcs();

// Archives of those files as other programs make them, with folder entries where the
// program stores them: "zip.zip", "zip-crypto.zip" (password "secret"), "7z.zip",
// "7z-aes.zip" (AES-256, "secret"), "python.zip" (one entry stored). Their names are
// returned; the ones with a password in `encrypted`.
QStringList makeInputArchives(const QString& folder, QStringList* encrypted = nullptr);

// Whether `unzip -t` and `7zz t` accept the archive (7zz with the password when given; unzip
// cannot read AES and is skipped for it).
bool toolsAccept(const QString& archive, const QString& password = QString(), bool aes = false,
                 QString* output = nullptr);

} // namespace kelmar::test
