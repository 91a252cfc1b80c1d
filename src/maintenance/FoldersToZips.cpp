#include "maintenance/FoldersToZips.h"

#include "archive/ZipComponent.h"
#include "browse/FileListModel.h"
#include "fs/NativeName.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace kelmar {

namespace {

// What a sub-folder holds, found without following any link.
struct Content
{
    struct File
    {
        QString relative;
        qint64 size;
        bool readOnly;
    };
    std::vector<File> files;
    QStringList folders; // relative paths
    QStringList links;   // relative paths of symbolic links
    QStringList others;  // pipes, sockets, devices
};

Content contentOf(const QString& folder)
{
    Content content;
    const QDir root(folder);
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = root.relativeFilePath(path);
        struct stat st;
        if (::lstat(fs::nativeName(path).constData(), &st) != 0)
            continue;
        if (S_ISLNK(st.st_mode))
            content.links.append(relative);
        else if (S_ISDIR(st.st_mode))
            content.folders.append(relative);
        else if (S_ISREG(st.st_mode))
            content.files.push_back({relative, qint64(st.st_size), !(st.st_mode & S_IWUSR)});
        else
            content.others.append(relative);
    }
    return content;
}

QString entryNameOf(const QString& relative, bool keepFolderNames)
{
    return keepFolderNames ? relative : relative.mid(relative.lastIndexOf(u'/') + 1);
}

// The reason the folder may not be deleted, or an empty text when the archive's listing shows
// every file of the folder under the name it was stored with, at the size it has now.
QString checkArchiveHoldsAll(ZipComponent& zip, const QString& folder, bool keepFolderNames,
                             Content& content)
{
    content = contentOf(folder);
    if (!content.links.isEmpty())
        return QStringLiteral("it holds links, which are not stored: ") + content.links.front();
    if (!content.others.isEmpty())
        return QStringLiteral("it holds something that is not a file: ") + content.others.front();
    QHash<QString, qint64> listed;
    QMetaObject::Connection c = QObject::connect(
        &zip, &ZipComponent::entryListed, &zip,
        [&listed](const QString& name, qint64 size) { listed.insert(name, size); },
        Qt::DirectConnection);
    const int result = zip.list();
    QObject::disconnect(c);
    if (result != ZipOk)
        return QStringLiteral("its archive could not be listed: ") + zip.lastErrorDetail();
    QSet<QString> seen;
    for (const Content::File& file : content.files) {
        const QString name = entryNameOf(file.relative, keepFolderNames);
        if (seen.contains(name))
            return QStringLiteral("two of its files are stored under the one name ") + name;
        seen.insert(name);
        const auto it = listed.constFind(name);
        if (it == listed.constEnd())
            return QStringLiteral("its archive does not hold ") + file.relative;
        if (it.value() != file.size)
            return QStringLiteral("its archive holds another size of ") + file.relative;
        if (file.readOnly)
            return QStringLiteral("it holds a read-only file: ") + file.relative;
    }
    return QString();
}

// Deletes the files found in the archive, each only while it is still that file at that size,
// and then the emptied folders, deepest first. Anything that turned up since stays, and so
// does its folder.
QString deleteZippedFolder(const QString& folder, const Content& content)
{
    for (const Content::File& file : content.files) {
        const QString path = folder + u'/' + file.relative;
        struct stat st;
        if (::lstat(fs::nativeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode) ||
            qint64(st.st_size) != file.size)
            return file.relative + QStringLiteral(" changed after it was zipped");
        if (::unlink(fs::nativeName(path).constData()) != 0)
            return QStringLiteral("could not delete ") + file.relative + QStringLiteral(": ") +
                   QString::fromLocal8Bit(std::strerror(errno));
    }
    QStringList folders = content.folders;
    std::sort(folders.begin(), folders.end(),
              [](const QString& a, const QString& b) { return a.count(u'/') > b.count(u'/'); });
    folders.append(QString());
    for (const QString& relative : std::as_const(folders)) {
        const QString path = relative.isEmpty() ? folder : folder + u'/' + relative;
        if (::rmdir(fs::nativeName(path).constData()) != 0)
            return QStringLiteral("could not remove the folder ") +
                   (relative.isEmpty() ? folder : relative) + QStringLiteral(": ") +
                   QString::fromLocal8Bit(std::strerror(errno));
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
    QStringList names;
    for (const QFileInfo& info :
         QDir(root).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort)) {
        if (!info.isSymLink())
            names.append(info.fileName());
    }
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
        QStringLiteral("Folders to Zips"), MsgIcon::Question, MsgButtons::YesNoCancel);
    if (report.answer != MsgAnswer::Yes && report.answer != MsgAnswer::No)
        return report;

    host.setStopRequested(false);
    host.protect_form();
    const Options options = host.options();
    const bool keepFolderNames = options.chkUseZIPPaths != 0;
    zip.setKeepFolderNames(keepFolderNames);
    zip.setLevel(options.sliCompression);
    zip.setPassword(options.chkZIPPassword != 0 ? options.txtZIPPassword : QString());
    zip.setProcessSubfolders(true);
    if (!root.endsWith(u'/'))
        root += u'/';

    const int count = int(names.size());
    for (int i = 0; i < count; ++i) {
        FoldersToZipsReport::Folder folder;
        folder.path = root + names.at(i);
        folder.archive = folder.path + QStringLiteral(".zip");
        host.setStatusText(QStringLiteral("Zipping Folder ") + folder.path + QStringLiteral(" (") +
                           QString::number(i + 1) + QStringLiteral(" of ") +
                           QString::number(count) + u')');
        // Links are never followed out of the folder: each one is left out by name.
        QString mask = folder.path + QStringLiteral("/*");
        for (const QString& link : contentOf(folder.path).links)
            mask += QStringLiteral("\r<") + link;
        zip.setFileMask(mask);
        zip.setArchivePath(folder.archive);
        folder.result = zip.compress(0);
        folder.detail = zip.lastErrorDetail();
        report.folders.push_back(folder);
        // Stop ends the run between folders; the folders not reached are left as they are.
        if (host.stopRequested() && i + 1 < count) {
            report.stopped = true;
            break;
        }
    }

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
        Content content;
        folder.keptBecause = checkArchiveHoldsAll(zip, folder.path, keepFolderNames, content);
        if (folder.keptBecause.isEmpty())
            folder.keptBecause = deleteZippedFolder(folder.path, content);
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
    host.setStopRequested(false);
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
