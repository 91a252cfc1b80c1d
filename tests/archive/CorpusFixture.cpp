// SPDX-License-Identifier: GPL-3.0-or-later
#include "CorpusFixture.h"

#include "common/Tools.h"

#include <QFile>
#include <QtEndian>

namespace kelmar::test {

QStringList CorpusFixture::sourceNames()
{
    return {QStringLiteral("Super Game (USA).nes"), QStringLiteral("noise.bin"),
            QStringLiteral("empty.txt"), QStringLiteral("sub/deeper/level.rom"),
            QStringLiteral(u"Ärger ゲーム.sfc")};
}

CorpusFixture::CorpusFixture()
{
    const QString src = sources() + u'/';
    writeFile(src + sourceNames()[0], textBytes(300 * 1024, 1));
    writeFile(src + sourceNames()[1], noiseBytes(120 * 1024 + 7, 2));
    writeFile(src + sourceNames()[2], QByteArray());
    writeFile(src + sourceNames()[3], textBytes(70 * 1024, 3) + noiseBytes(5000, 4));
    writeFile(src + sourceNames()[4], textBytes(33 * 1024, 5));
}

bool CorpusFixture::flipDataByte(const QString& archive)
{
    QByteArray bytes = readFile(archive);
    if (bytes.size() < 30 || !bytes.startsWith("PK\3\4"))
        return false;
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const quint16 nameLength = qFromLittleEndian<quint16>(p + 26);
    const quint16 extraLength = qFromLittleEndian<quint16>(p + 28);
    quint32 compressed = qFromLittleEndian<quint32>(p + 18);
    const qsizetype data = 30 + nameLength + extraLength;
    if (compressed == 0 || compressed == 0xffffffffu) // data descriptor or zip64: use the CD
        compressed = 64;
    const qsizetype at = data + qsizetype(compressed) / 2;
    if (at >= bytes.size())
        return false;
    bytes[at] = char(bytes[at] ^ 0x55);
    writeFile(archive, bytes);
    return true;
}

bool CorpusFixture::truncateHalf(const QString& archive)
{
    QFile f(archive);
    return f.resize(f.size() / 2);
}

bool CorpusFixture::breakCentralDirectory(const QString& archive)
{
    QByteArray bytes = readFile(archive);
    const qsizetype at = bytes.indexOf("PK\1\2");
    if (at < 0)
        return false;
    bytes[at + 3] = '\7';
    writeFile(archive, bytes);
    return true;
}

} // namespace kelmar::test
