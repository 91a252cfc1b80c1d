// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/DeleteFiles.h"

#include "fs/NativeName.h"
#include "fs/PathStatus.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace kelmar {

namespace {

// Deletes one file of the list; what became of it, with its log line written.
ItemOutcome deleteOne(ProgressSink& sink, const QString& name, const QString& path)
{
    ItemOutcome item;
    item.path = path;
    item.result = ItemResult::Skipped;
    if (name.startsWith(u'.')) {
        item.reason = QStringLiteral("hidden"); // the list would not show it
        return item;
    }
    const QByteArray native = fs::nativeName(path);
    // What a listing shows: a file, or a link that leads to one (a broken link, or a link to
    // a folder, is not seen).
    const std::optional<fs::PathStatus> st = fs::statOfNative(native, fs::Links::Follow);
    if (!st || st->kind == fs::FileKind::Folder) {
        item.reason = QStringLiteral("not a file");
        return item;
    }
    // Unlinking needs no write permission on the file, so a read-only file goes without
    // changing its mode, and a link goes without touching what it points to.
    if (::unlink(native.constData()) == 0) {
        item.result = ItemResult::Done;
        sink.write_log(QStringLiteral("Deleted ") + path);
    } else {
        item.result = ItemResult::Failed;
        item.reason = QString::fromLocal8Bit(std::strerror(errno));
        sink.write_log(QStringLiteral("Could not delete ") + path + QStringLiteral(": ") +
                       item.reason);
    }
    return item;
}

} // namespace

QString deleteQuestion()
{
    return QStringLiteral("Are you sure you want to delete the selected files?");
}

BatchReport delete_files(const DeleteRequest& request, ProgressSink& sink, BatchQuestions&)
{
    BatchReport report;
    sink.clear_log();
    for (int i = 0; i < request.files.size(); ++i)
        report.items.push_back(deleteOne(sink, request.files.names.at(i), request.files.path(i)));
    return report;
}

} // namespace kelmar
