#include "maintenance/BatchHost.h"

#include "fs/Path.h"
#include "names/basMain.h"

#include <QDir>

namespace kelmar {

QString BatchHost::fullPath(int position) const
{
    return fs::withSeparator(folder()) + fileName(position);
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
