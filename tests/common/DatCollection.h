// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace kelmar::test {

// One file of an archive a test makes.
struct MadeEntry
{
    QString name;
    QByteArray bytes;
    bool stored = false; // else deflated
};

// Writes an archive with libzip; false when it could not.
bool makeZip(const QString& path, const std::vector<MadeEntry>& entries);

// The bytes of every file under folder (sub-folders too), and for an archive those of each
// of its entries instead, read in full (an entry whose CRC does not check is left out).
std::vector<QByteArray> contentsUnder(const QString& folder);

// True when each of wanted is the whole content of some file or entry under folder.
bool allPresent(const QString& folder, const std::vector<QByteArray>& wanted);

// "%08x" of the CRC-32 of bytes.
QString crcHex(const QByteArray& bytes);
// 40 hex digits of the SHA-1 of bytes.
QString sha1Hex(const QByteArray& bytes);

} // namespace kelmar::test
