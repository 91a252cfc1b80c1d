// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs/Path.h"

#include <QDir>
#include <QFile>

#include <cstring>

namespace kelmar::fs {

QString withSeparator(const QString& folder)
{
    return folder.endsWith(QDir::separator()) ? folder : folder + QDir::separator();
}

QString fileNameOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.mid(slash + 1);
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace kelmar::fs
