#include "maintenance/BatchHost.h"

#include <QDir>

namespace kelmar {

QString BatchHost::fullPath(int position) const
{
    QString path = folder();
    if (!path.endsWith(QDir::separator()))
        path += QDir::separator();
    return path + fileName(position);
}

} // namespace kelmar
