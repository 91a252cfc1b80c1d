#include "fs/Path.h"

#include <QDir>
#include <QFile>

#include <cstring>

namespace kelmar::fs {

QString withSeparator(const QString& folder)
{
    return folder.endsWith(QDir::separator()) ? folder : folder + QDir::separator();
}

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace kelmar::fs
