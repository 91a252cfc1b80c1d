#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

namespace kelmar::test {

// Writes size bytes (or the given content) to folder/name and returns the full path.
inline QString writeFile(const QString& folder, const QString& name, qint64 size)
{
    const QString path = QDir(folder).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(QByteArray(size, 'x'));
    return path;
}

} // namespace kelmar::test
