#include "maintenance/FoldersToZips.h"

#include "archive/ZipComponent.h"
#include "fs/FlushToDisk.h"
#include "fs/FolderListing.h"
#include "fs/FolderTree.h"
#include "fs/NativeName.h"
#include "fs/Path.h"
#include "fs/RemoveUnchanged.h"
#include "maintenance/ArchivePool.h"
#include "maintenance/SerialHost.h"
#include "names/NameOrder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unistd.h>

namespace kelmar {

namespace {

using fs::FolderTree;

QByteArray nativeOf(const QString& path)
{
    return fs::nativeName(path);
}

// The files of the folder as exact sources. Links are never followed out of the folder and are
// not stored; two files that would share an entry name are both kept, under distinct names.
std::vector<ZipSource> sourcesOf(const QString& folder, const FolderTree& tree,
                                 bool keepFolderNames)
{
    std::vector<ZipSource> sources;
    const QByteArray root = nativeOf(folder);
    for (const FolderTree::Entry& entry : tree.entries) {
        if (entry.kind != FolderTree::Kind::File)
            continue;
        const QString entryName = keepFolderNames
                                      ? entry.relative
                                      : entry.relative.mid(entry.relative.lastIndexOf(u'/') + 1);
        sources.push_back({folder + u'/' + entry.relative, root + '/' + entry.nativeRelative,
                           entryName, ZipSource::OnClash::Rename});
    }
    return sources;
}

// The reason the folder may not be deleted, or an empty text when every file in it now is a
// file the archive stored, unchanged since it was read, and the archive lists it at its size.
QString checkArchiveHoldsAll(ZipComponent& zip, const QString& folder,
                             const std::vector<StoredSource>& stored, const FolderTree& tree)
{
    if (!tree.error.isEmpty())
        return QStringLiteral("part of it cannot be read: ") + tree.error;
    QHash<QString, qint64> listed;
    QMetaObject::Connection c = QObject::connect(
        &zip, &ZipComponent::entryListed, &zip,
        [&listed](const QString& name, qint64 size) { listed.insert(name, size); },
        Qt::DirectConnection);
    const int result = zip.list();
    QObject::disconnect(c);
    if (result != ZipOk)
        return QStringLiteral("its archive could not be listed: ") + zip.lastErrorDetail();
    QHash<QByteArray, const StoredSource*> byPath;
    for (const StoredSource& s : stored)
        byPath.insert(s.nativePath, &s);
    const QByteArray root = nativeOf(folder);
    for (const FolderTree::Entry& entry : tree.entries) {
        switch (entry.kind) {
        case FolderTree::Kind::Folder:
            continue;
        case FolderTree::Kind::Link:
            return QStringLiteral("it holds links, which are not stored: ") + entry.relative;
        case FolderTree::Kind::Other:
            return QStringLiteral("it holds something that is not a file: ") + entry.relative;
        case FolderTree::Kind::File:
            break;
        }
        const StoredSource* s = byPath.value(root + '/' + entry.nativeRelative);
        if (!s)
            return QStringLiteral("its archive does not hold ") + entry.relative;
        if (s->identity != entry.identity)
            return entry.relative + QStringLiteral(" changed after it was zipped");
        if (listed.value(s->entryName, -1) != entry.identity.size)
            return QStringLiteral("its archive holds another size of ") + entry.relative;
    }
    return QString();
}

// Deletes the files found in the archive, each only while it is still the file that was read,
// and then the emptied folders, deepest first. Anything that turned up since stays, and so does
// its folder.
QString deleteZippedFolder(const QString& folder, const std::vector<StoredSource>& stored,
                           const FolderTree& tree)
{
    for (const StoredSource& s : stored) {
        const QString why = fs::removeIfUnchanged(s.nativePath, s.identity);
        if (!why.isEmpty())
            return s.path + QStringLiteral(": ") + why;
    }
    std::vector<QByteArray> folders;
    for (const FolderTree::Entry& entry : tree.entries) {
        if (entry.kind == FolderTree::Kind::Folder)
            folders.push_back(entry.nativeRelative);
    }
    std::stable_sort(folders.begin(), folders.end(), [](const QByteArray& a, const QByteArray& b) {
        return a.count('/') > b.count('/');
    });
    folders.push_back(QByteArray());
    const QByteArray root = nativeOf(folder);
    for (const QByteArray& relative : folders) {
        const QByteArray path = relative.isEmpty() ? root : root + '/' + relative;
        if (::rmdir(path.constData()) != 0)
            return QStringLiteral("could not remove the folder ") + fs::nameFromNative(path) +
                   QStringLiteral(": ") + fs::systemError(errno);
    }
    return QString();
}

} // namespace

int FoldersToZipsReport::failedCount() const
{
    int n = 0;
    for (const Folder& f : folders)
        n += f.result != 0 ? 1 : 0;
    return n;
}

FoldersToZipsReport convert_sub_folders_to_zips(BatchHost& host, ZipComponent& zip)
{
    FoldersToZipsReport report;
    QString root = QDir::cleanPath(host.treeFolder());
    // Read with the system's own calls: Qt's listing passes over a folder whose name is not
    // UTF-8, and could not open it again.
    QStringList names;
    fs::listSubFolders(root, &names);
    sortFileNames(names);
    if (names.isEmpty()) {
        report.noSubFolders = true;
        host.messageBox(QStringLiteral("This folder has no sub folders to zip!"),
                        QStringLiteral("Whoops!"), MsgIcon::Information, MsgButtons::Ok);
        return report;
    }
    report.answer = host.messageBox(
        QStringLiteral("About to convert the folders in '") + host.treeDisplayName() +
            QStringLiteral("' to zips.") + u'\r' + u'\r' +
            QStringLiteral("Do you want to delete the folders after they are zipped?"),
        QStringLiteral("Folders to Zips"), MsgIcon::Question, MsgButtons::YesNoCancel,
        Question::DeleteZippedFolders);
    if (report.answer != MsgAnswer::Yes && report.answer != MsgAnswer::No)
        return report;

    host.protect_form();
    const Options options = host.options();
    const bool keepFolderNames = options.chkUseZIPPaths != 0;
    zip.setKeepFolderNames(keepFolderNames);
    zip.setLevel(options.sliCompression);
    zip.setPassword(options.chkZIPPassword != 0 ? options.txtZIPPassword : QString());
    zip.setProcessSubfolders(true);
    root = fs::withSeparator(root);

    // Folders are zipped several at once, each by a component of its own; the batch's
    // component settles what may be deleted afterwards, one folder after another.
    const int count = int(names.size());
    std::vector<FoldersToZipsReport::Folder> folders(static_cast<size_t>(count));
    std::mutex hostLock;
    std::mutex hookLock;
    const std::function<void()> hook = zip.afterWriteHook();
    for (int i = 0; i < count; ++i) {
        folders[size_t(i)].path = root + names.at(i);
        folders[size_t(i)].archive = folders[size_t(i)].path + QStringLiteral(".zip");
    }
    ArchivePool::Batch batch;
    batch.keys = [&](int i) {
        const FoldersToZipsReport::Folder& folder = folders[size_t(i)];
        return QStringList{folder.path.toCaseFolded(), folder.archive.toCaseFolded()};
    };
    batch.work = [&](int i) {
        FoldersToZipsReport::Folder& folder = folders[size_t(i)];
        // A folder that cannot be read in full is not zipped: its archive would look
        // complete.
        const FolderTree tree = FolderTree::read(nativeOf(folder.path));
        if (!tree.error.isEmpty()) {
            folder.result = ZipReadError;
            folder.detail = QStringLiteral("cannot read ") + tree.error;
            return;
        }
        ZipComponent mine;
        mine.setKeepFolderNames(keepFolderNames);
        mine.setLevel(zip.level());
        mine.setPassword(zip.password());
        mine.setProcessSubfolders(true);
        mine.setArchivePath(folder.archive);
        if (hook) {
            mine.setAfterWriteHook([&] {
                std::lock_guard<std::mutex> lock(hookLock);
                hook();
            });
        }
        folder.result = mine.compress(sourcesOf(folder.path, tree, keepFolderNames));
        folder.detail = mine.lastErrorDetail();
        folder.stored = mine.lastOutcome().stored;
        folder.notes = mine.lastOutcome().notes;
    };
    // Stop ends the run between folders; the folders not reached are left as they are.
    const int started = ArchivePool::run(
        count, batch, [&] { return SerialHost::stopRequestedUnder(host, hostLock); },
        [&](int i) {
            std::lock_guard<std::mutex> lock(hostLock);
            host.setStatusText(QStringLiteral("Zipping Folder ") + folders[size_t(i)].path +
                               QStringLiteral(" (") + QString::number(i + 1) +
                               QStringLiteral(" of ") + QString::number(count) + u')');
        });
    folders.resize(size_t(started));
    report.folders = std::move(folders);
    report.stopped = started < count;

    QStringList problems;
    for (FoldersToZipsReport::Folder& folder : report.folders) {
        if (folder.result != ZipOk) {
            problems.append(
                folder.path + QStringLiteral(": ") +
                (folder.detail.isEmpty() ? zipErrorMessage(folder.result) : folder.detail));
            if (report.answer == MsgAnswer::Yes)
                folder.keptBecause = QStringLiteral("its archive was not written");
            continue;
        }
        if (report.answer != MsgAnswer::Yes)
            continue;
        zip.setArchivePath(folder.archive);
        const FolderTree now = FolderTree::read(nativeOf(folder.path));
        folder.keptBecause = checkArchiveHoldsAll(zip, folder.path, folder.stored, now);
        // The archive reaches the disk before the folder goes.
        if (const int error =
                folder.keptBecause.isEmpty() ? fs::flushFileAndFolder(folder.archive) : 0) {
            folder.keptBecause = QStringLiteral("its archive could not be flushed to disk: ") +
                                 fs::systemError(error);
        }
        if (folder.keptBecause.isEmpty())
            folder.keptBecause = deleteZippedFolder(folder.path, folder.stored, now);
        folder.deleted = folder.keptBecause.isEmpty();
        if (!folder.deleted)
            problems.append(folder.path + QStringLiteral(" was not deleted: ") +
                            folder.keptBecause);
    }
    if (report.answer == MsgAnswer::Yes)
        host.refreshTree();
    host.refresh();
    host.showCreditLine();
    host.release_form();
    if (!problems.isEmpty()) {
        constexpr int kShown = 10;
        QString text = QStringLiteral("Some folders could not be zipped or were kept:");
        for (int i = 0; i < std::min(kShown, int(problems.size())); ++i)
            text += u'\r' + problems.at(i);
        if (problems.size() > kShown)
            text += QStringLiteral("\r... and %1 more").arg(problems.size() - kShown);
        host.messageBox(text, QStringLiteral("Folders to Zips"), MsgIcon::Exclamation,
                        MsgButtons::Ok);
    }
    return report;
}

} // namespace kelmar
