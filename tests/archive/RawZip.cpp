// SPDX-License-Identifier: GPL-3.0-or-later
#include "RawZip.h"

#include "common/Tools.h"

#include <QtEndian>

namespace kelmar::test {

namespace {

void put16(QByteArray& b, quint16 v)
{
    char s[2];
    qToLittleEndian(v, s);
    b.append(s, 2);
}

void put32(QByteArray& b, quint32 v)
{
    char s[4];
    qToLittleEndian(v, s);
    b.append(s, 4);
}

} // namespace

RawEntry firstEntry(const QString& archive)
{
    const QByteArray bytes = readFile(archive);
    RawEntry e;
    if (bytes.size() < 30 || !bytes.startsWith("PK\3\4"))
        return e;
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    e.flags = qFromLittleEndian<quint16>(p + 6);
    e.method = qFromLittleEndian<quint16>(p + 8);
    e.crc = qFromLittleEndian<quint32>(p + 14);
    const quint32 compressed = qFromLittleEndian<quint32>(p + 18);
    e.size = qFromLittleEndian<quint32>(p + 22);
    const quint16 nameLength = qFromLittleEndian<quint16>(p + 26);
    const quint16 extraLength = qFromLittleEndian<quint16>(p + 28);
    e.name = bytes.mid(30, nameLength);
    e.data = bytes.mid(30 + nameLength + extraLength, compressed);
    e.flags &= ~quint16(8); // the sizes go into the headers here
    return e;
}

QByteArray zipOf(const RawEntry& e)
{
    QByteArray zip;
    auto header = [&](bool central) {
        put32(zip, central ? 0x02014b50 : 0x04034b50);
        if (central)
            put16(zip, 63);
        put16(zip, 63);
        put16(zip, e.flags);
        put16(zip, e.method);
        put32(zip, 0x21000000); // 1996-08-00 00:00
        put32(zip, e.crc);
        put32(zip, quint32(e.data.size()));
        put32(zip, quint32(e.size));
        put16(zip, quint16(e.name.size()));
        put16(zip, 0);
        if (central) {
            put16(zip, 0); // comment
            put16(zip, 0); // disk
            put16(zip, 0); // internal attributes
            put32(zip, 0); // external attributes
            put32(zip, 0); // offset of the local header
        }
        zip += e.name;
    };
    header(false);
    zip += e.data;
    const quint32 directory = quint32(zip.size());
    header(true);
    const quint32 directorySize = quint32(zip.size()) - directory;
    put32(zip, 0x06054b50);
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, 1);
    put16(zip, 1);
    put32(zip, directorySize);
    put32(zip, directory);
    put16(zip, 0);
    return zip;
}

} // namespace kelmar::test
