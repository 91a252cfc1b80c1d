// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace kelmar::test {

// A folder of ROM-like source files for archives made by real tools: compressible and
// incompressible data, an empty file, a subfolder and a name with non-ASCII characters.
class CorpusFixture
{
public:
    CorpusFixture();

    QString root() const { return m_dir.path(); }
    // Folder holding the sources, relative names in sourceNames().
    QString sources() const { return m_dir.filePath(QStringLiteral("src")); }
    static QStringList sourceNames();
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Flips one byte in the middle of the first entry's compressed data.
    static bool flipDataByte(const QString& archive);
    // Cuts the archive to half its length.
    static bool truncateHalf(const QString& archive);
    // Breaks the signature of the first central directory record.
    static bool breakCentralDirectory(const QString& archive);

private:
    QTemporaryDir m_dir;
};

} // namespace kelmar::test
