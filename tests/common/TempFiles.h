// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Tools.h"

#include <QByteArray>
#include <QDir>
#include <QString>

namespace kelmar::test {

// Writes size bytes to folder/name and returns the full path.
inline QString writeFile(const QString& folder, const QString& name, qint64 size)
{
    const QString path = QDir(folder).filePath(name);
    writeFile(path, QByteArray(size, 'x'));
    return path;
}

} // namespace kelmar::test
