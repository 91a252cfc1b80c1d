// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs/FolderTree.h"

#include "fs/NativeName.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace kelmar::fs {

namespace {

void readInto(const QByteArray& root, const QByteArray& relative, FolderTree& tree)
{
    const QByteArray path = relative.isEmpty() ? root : root + '/' + relative;
    DIR* dir = ::opendir(path.constData());
    if (!dir) {
        if (tree.error.isEmpty())
            tree.error = (relative.isEmpty() ? nameFromNative(root) : nameFromNative(relative)) +
                         QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    std::vector<QByteArray> folders;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0 && tree.error.isEmpty())
                tree.error = nameFromNative(path) + QStringLiteral(": ") +
                             QString::fromLocal8Bit(std::strerror(errno));
            break;
        }
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        FolderTree::Entry item;
        item.nativeRelative = relative.isEmpty() ? name : relative + '/' + name;
        item.relative = nameFromNative(item.nativeRelative);
        struct stat st;
        if (::lstat((root + '/' + item.nativeRelative).constData(), &st) != 0) {
            if (tree.error.isEmpty())
                tree.error = item.relative + QStringLiteral(": ") +
                             QString::fromLocal8Bit(std::strerror(errno));
            continue;
        }
        item.identity = FileIdentity::fromStat(st);
        item.kind = S_ISREG(st.st_mode)   ? FolderTree::Kind::File
                    : S_ISDIR(st.st_mode) ? FolderTree::Kind::Folder
                    : S_ISLNK(st.st_mode) ? FolderTree::Kind::Link
                                          : FolderTree::Kind::Other;
        if (item.kind == FolderTree::Kind::Folder)
            folders.push_back(item.nativeRelative);
        tree.entries.push_back(std::move(item));
    }
    ::closedir(dir);
    for (const QByteArray& folder : folders)
        readInto(root, folder, tree);
}

} // namespace

FolderTree FolderTree::read(const QByteArray& nativeRoot)
{
    FolderTree tree;
    readInto(nativeRoot, QByteArray(), tree);
    return tree;
}

} // namespace kelmar::fs
