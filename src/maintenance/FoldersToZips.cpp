// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/FoldersToZips.h"

#include "archive/ZipComponent.h"
#include "fs/FlushToDisk.h"
#include "fs/FolderListing.h"
#include "fs/FolderTree.h"
#include "fs/NativeName.h"
#include "fs/Path.h"
#include "fs/RemoveUnchanged.h"
#include "maintenance/ArchivePool.h"
#include "maintenance/SerialProgress.h"
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

// One sub-folder: what its archive came to, and whether the folder went.
struct Folder
{
    QString path;
    QString archive;                  // path + ".zip"
    int result = 0;                   // the component's code for the archive
    QString detail;                   // the component's words for a failure
    std::vector<StoredSource> stored; // what its archive stored, as read
    QStringList notes;                // files stored under another name, or left out
    QString keptBecause;              // deleting: why the folder was not deleted
    bool deleted = false;
};

// Zips one folder with a component of its own. A folder that cannot be read in full is not
// zipped: its archive would look complete.
void zipFolder(Folder& folder, const FoldersToZipsRequest& request,
               const std::function<void()>& hook)
{
    const FolderTree tree = FolderTree::read(nativeOf(folder.path));
    if (!tree.error.isEmpty()) {
        folder.result = ZipReadError;
        folder.detail = QStringLiteral("cannot read ") + tree.error;
        return;
    }
    ZipComponent mine;
    mine.setKeepFolderNames(request.keepPaths);
    mine.setLevel(request.level);
    mine.setPassword(request.password);
    mine.setProcessSubfolders(true);
    mine.setArchivePath(folder.archive);
    mine.setAfterWriteHook(hook);
    folder.result = mine.compress(sourcesOf(folder.path, tree, request.keepPaths));
    folder.detail = mine.lastErrorDetail();
    folder.stored = mine.lastOutcome().stored;
    folder.notes = mine.lastOutcome().notes;
}

// Zips the folders several at once, each by a component of its own; Stop ends the run
// between folders, and the folders not reached are left as they are. The folders taken up.
std::vector<Folder> zipFolders(const FoldersToZipsRequest& request, const QStringList& names,
                               ProgressSink& sink, ZipComponent& zip)
{
    const QString root = fs::withSeparator(QDir::cleanPath(request.folder));
    const int count = int(names.size());
    std::vector<Folder> folders(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        folders[size_t(i)].path = root + names.at(i);
        folders[size_t(i)].archive = folders[size_t(i)].path + QStringLiteral(".zip");
    }
    std::mutex sinkLock;
    std::mutex hookLock;
    const std::function<void()> batchHook = zip.afterWriteHook();
    std::function<void()> hook;
    if (batchHook) {
        hook = [&] {
            std::lock_guard<std::mutex> lock(hookLock);
            batchHook();
        };
    }
    ArchivePool::Batch batch;
    batch.workers = request.workers;
    batch.keys = [&](int i) {
        const Folder& folder = folders[size_t(i)];
        return QStringList{folder.path.toCaseFolded(), folder.archive.toCaseFolded()};
    };
    batch.work = [&](int i) { zipFolder(folders[size_t(i)], request, hook); };
    batch.finish = [&](int i) {
        SerialProgress::countUnder(sink, sinkLock,
                                   BatchCount{QStringLiteral("Zipping"), i + 1, count});
    };
    const int started = ArchivePool::run(
        count, batch, [&] { return SerialProgress::stopRequestedUnder(sink, sinkLock); },
        [&](int i) {
            std::lock_guard<std::mutex> lock(sinkLock);
            sink.setStatusText(QStringLiteral("Zipping Folder ") + folders[size_t(i)].path +
                               QStringLiteral(" (") + QString::number(i + 1) +
                               QStringLiteral(" of ") + QString::number(count) + u')');
        });
    folders.resize(size_t(started));
    return folders;
}

// Deletes a zipped folder when its archive holds all of it; else says why it stays. The
// batch's component lists the archive, one folder after another.
void settleFolder(Folder& folder, ZipComponent& zip)
{
    zip.setArchivePath(folder.archive);
    const FolderTree now = FolderTree::read(nativeOf(folder.path));
    folder.keptBecause = checkArchiveHoldsAll(zip, folder.path, folder.stored, now);
    // The archive reaches the disk before the folder goes.
    if (const int error =
            folder.keptBecause.isEmpty() ? fs::flushFileAndFolder(folder.archive) : 0) {
        folder.keptBecause =
            QStringLiteral("its archive could not be flushed to disk: ") + fs::systemError(error);
    }
    if (folder.keptBecause.isEmpty())
        folder.keptBecause = deleteZippedFolder(folder.path, folder.stored, now);
    folder.deleted = folder.keptBecause.isEmpty();
}

ItemOutcome outcomeOf(const Folder& folder, bool deleting)
{
    ItemOutcome item;
    item.path = folder.path;
    item.target = folder.archive;
    item.code = folder.result;
    item.notes = folder.notes;
    for (const StoredSource& s : folder.stored)
        item.sources.append(s.path);
    if (folder.result != ZipOk) {
        item.result = ItemResult::Failed;
        item.reason = folder.detail.isEmpty() ? zipErrorMessage(folder.result) : folder.detail;
    } else if (deleting && !folder.deleted) {
        item.result = ItemResult::Kept;
        item.reason = folder.keptBecause;
    }
    return item;
}

// The closing message names the folders not zipped, or kept when they were to go.
void reportProblems(const std::vector<Folder>& folders, BatchQuestions& questions)
{
    QStringList problems;
    for (const Folder& folder : folders) {
        if (folder.result != ZipOk) {
            problems.append(
                folder.path + QStringLiteral(": ") +
                (folder.detail.isEmpty() ? zipErrorMessage(folder.result) : folder.detail));
        } else if (!folder.keptBecause.isEmpty()) {
            problems.append(folder.path + QStringLiteral(" was not deleted: ") +
                            folder.keptBecause);
        }
    }
    if (problems.isEmpty())
        return;
    constexpr int kShown = 10;
    QString text = QStringLiteral("Some folders could not be zipped or were kept:");
    for (int i = 0; i < std::min(kShown, int(problems.size())); ++i)
        text += u'\r' + problems.at(i);
    if (problems.size() > kShown)
        text += QStringLiteral("\r... and %1 more").arg(problems.size() - kShown);
    questions.messageBox(text, foldersToZipsTitle(), MsgIcon::Exclamation, MsgButtons::Ok);
}

} // namespace

QStringList subFoldersToZip(const QString& folder)
{
    // Read with the system's own calls: Qt's listing passes over a folder whose name is not
    // UTF-8, and could not open it again.
    QStringList names;
    fs::listSubFolders(QDir::cleanPath(folder), &names);
    sortFileNames(names);
    return names;
}

QString foldersToZipsTitle()
{
    return QStringLiteral("Folders to Zips");
}

QString noSubFoldersNotice()
{
    return QStringLiteral("This folder has no sub folders to zip!");
}

QString deleteFoldersQuestion(const QString& folder)
{
    const QString path = QDir::cleanPath(folder);
    QString name = path.mid(path.lastIndexOf(u'/') + 1);
    if (name.isEmpty())
        name = path;
    return QStringLiteral("About to convert the folders in '") + name +
           QStringLiteral("' to zips.") + u'\r' + u'\r' +
           QStringLiteral("Do you want to delete the folders after they are zipped?");
}

BatchReport convert_sub_folders_to_zips(const FoldersToZipsRequest& request, ProgressSink& sink,
                                        BatchQuestions& questions, ZipComponent& zip)
{
    BatchReport report;
    const QStringList names = subFoldersToZip(request.folder);
    if (names.isEmpty()) {
        report.end = BatchEnd::NothingSelected;
        return report;
    }
    zip.setKeepFolderNames(request.keepPaths);
    zip.setLevel(request.level);
    zip.setPassword(request.password);
    zip.setProcessSubfolders(true);
    std::vector<Folder> folders = zipFolders(request, names, sink, zip);
    if (folders.size() < size_t(names.size()))
        report.end = BatchEnd::Stopped;
    for (Folder& folder : folders) {
        if (folder.result != ZipOk) {
            if (request.deleteFolders)
                folder.keptBecause = QStringLiteral("its archive was not written");
        } else if (request.deleteFolders) {
            settleFolder(folder, zip);
        }
        report.items.push_back(outcomeOf(folder, request.deleteFolders));
    }
    sink.showCreditLine();
    reportProblems(folders, questions);
    return report;
}

} // namespace kelmar
