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

QString BatchHost::treeDisplayName() const
{
    const QString path = QDir::cleanPath(treeFolder());
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    return name.isEmpty() ? path : name;
}

} // namespace kelmar
