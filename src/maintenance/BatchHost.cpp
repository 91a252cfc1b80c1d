#include "maintenance/BatchHost.h"

#include "names/basMain.h"

#include <QDir>

namespace kelmar {

QString BatchHost::fullPath(int position) const
{
    QString path = folder();
    if (!path.endsWith(QDir::separator()))
        path += QDir::separator();
    return path + fileName(position);
}

bool BatchHost::isSelectedArchive(int position) const
{
    return isSelected(position) && basMain::HasZipExtension(fileName(position));
}

QString BatchHost::treeDisplayName() const
{
    const QString path = QDir::cleanPath(treeFolder());
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    return name.isEmpty() ? path : name;
}

} // namespace kelmar
