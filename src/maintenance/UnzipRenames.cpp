// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/UnzipRenames.h"

#include "fs/FileIdentity.h"
#include "fs/FolderListing.h"
#include "fs/NativeName.h"
#include "fs/RenameNoReplace.h"
#include "maintenance/BatchProgress.h"
#include "maintenance/RenameFiles.h"
#include "names/basMain.h"

#include <cerrno>

namespace kelmar {

namespace {

QString folderOf(const QString& path)
{
    return path.left(path.lastIndexOf(u'/') + 1);
}

// One file under both names: the new name differs in case only, on a file system that
// ignores case.
bool sameFile(const QString& a, const QString& b)
{
    const auto one = fs::FileIdentity::ofPath(fs::nativeName(a));
    const auto two = fs::FileIdentity::ofPath(fs::nativeName(b));
    return one && two && one->device == two->device && one->inode == two->inode;
}

} // namespace

QHash<QString, QStringList>& UnzipRenamer::namesIn(const QString& folder)
{
    auto it = m_folders.find(folder);
    if (it == m_folders.end()) {
        QStringList names;
        fs::listFolderNames(folder, &names);
        QHash<QString, QStringList> byKey;
        for (const QString& name : std::as_const(names))
            byKey[fs::foldedName(name)].append(name);
        it = m_folders.insert(folder, byKey);
    }
    return *it;
}

QString UnzipRenamer::holderOf(const QString& folder, const QString& name, const QString& except)
{
    for (const QString& held : namesIn(folder).value(fs::foldedName(name))) {
        if (held != except)
            return held;
    }
    return QString();
}

bool UnzipRenamer::rename(const QString& from, const QString& to)
{
    const QString folder = folderOf(to);
    const QString name = basMain::GetFileName(to);
    const QString fromFolder = folderOf(from);
    const QString fromName = basMain::GetFileName(from);
    const QString holder = holderOf(folder, name, fromFolder == folder ? fromName : QString());
    if (holder == name) {
        m_host.write_log(QStringLiteral("Error renaming ") + from + QStringLiteral("! ") + to +
                         QStringLiteral(" already exists."));
        return false;
    }
    if (!holder.isEmpty()) {
        m_host.write_log(QStringLiteral("Error renaming ") + from + QStringLiteral("! ") + to +
                         QStringLiteral(" would differ only in case from ") + folder + holder +
                         QStringLiteral(", the same name on FAT and exFAT cards."));
        return false;
    }
    QString error;
    bool renamed = fs::renameNoReplace(from, to, &error);
    if (!renamed && errno == EEXIST && sameFile(from, to)) {
        int code = 0;
        renamed = renameViaTemp(from, to, folder, &error, &code);
    }
    if (!renamed) {
        m_host.write_log(QStringLiteral("Could not rename ") + from + QStringLiteral(": ") + error);
        return false;
    }
    if (auto it = m_folders.find(fromFolder); it != m_folders.end())
        (*it)[fs::foldedName(fromName)].removeOne(fromName);
    namesIn(folder)[fs::foldedName(name)].append(name);
    return true;
}

} // namespace kelmar
