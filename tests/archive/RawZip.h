// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace kelmar::test {

// One entry of a zip file as it is stored: compressed data and the header fields that
// describe it. For building archives that no tool would write: cut streams, sizes and CRCs
// that lie, method numbers nobody knows.
struct RawEntry
{
    QByteArray name;
    quint16 flags = 0;
    quint16 method = 0;
    quint32 crc = 0;
    quint64 size = 0;
    QByteArray data;
};

// The first entry of an archive whose local header holds the sizes (as 7-Zip and a seekable
// Python zipfile write them); an entry with no name when there is none.
RawEntry firstEntry(const QString& archive);

// An archive holding entry alone.
QByteArray zipOf(const RawEntry& entry);

} // namespace kelmar::test
