// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/CalculateSpace.h"

#include "archive/ZipComponent.h"
#include "maintenance/PoolBatch.h"
#include "names/basMain.h"

#include <QLocale>

namespace kelmar {

QString spaceMessage(quint64 bytes, int archives)
{
    QLocale locale;
    // The C locale leaves out group separators unless told otherwise.
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(qulonglong(bytes)) + QStringLiteral(" unzipped bytes in ") +
           QString::number(archives) + QStringLiteral(" file") +
           (archives == 1 ? QString() : QStringLiteral("s"));
}

namespace {

// Lists one archive, adding up its entries' uncompressed sizes; a listing that fails is logged.
ItemOutcome listOne(ProgressSink& log, const QString& path, quint64* bytes)
{
    ItemOutcome item;
    item.path = path;
    ZipComponent mine;
    // The sizes are summed as integers: exact at any size.
    QObject::connect(
        &mine, &ZipComponent::entryListed, &mine,
        [bytes](const QString&, qint64 size) { *bytes += quint64(qMax<qint64>(size, 0)); },
        Qt::DirectConnection);
    mine.setArchivePath(path);
    item.code = mine.list();
    if (item.code != ZipOk) {
        const QString detail = mine.lastErrorDetail();
        item.result = ItemResult::Failed;
        item.reason = zipErrorMessage(item.code) +
                      (detail.isEmpty() ? QString() : QStringLiteral(": ") + detail);
        log.write_log(basMain::GetFileName(path) + QStringLiteral(" could not be read (") +
                      item.reason + u')');
    }
    return item;
}

} // namespace

BatchReport calculate_space(const SpaceRequest& request, ProgressSink& sink,
                            BatchQuestions& questions)
{
    BatchReport report;
    sink.clear_log();
    // Archives are listed several at once (on a cold disk the reads overlap), each by a
    // component of its own.
    std::vector<quint64> sizes(size_t(request.files.size()), 0);
    PoolBatchResults<ItemOutcome> run = runOnPool<ItemOutcome>(
        request.files, request.workers, sink, questions,
        [&](SerialProgress& serial, int number, const QString& path) {
            return listOne(serial, path, &sizes[size_t(number - 1)]);
        },
        {}, QStringLiteral("Measuring"));
    report.items = std::move(run.results);
    for (size_t i = 0; i < report.items.size(); ++i)
        report.bytes += sizes[i];
    if (run.stopped)
        report.end = BatchEnd::Stopped;
    if (!report.items.empty()) {
        questions.messageBox(spaceMessage(report.bytes, int(report.items.size())),
                             QStringLiteral("Information"), MsgIcon::Information, MsgButtons::Ok);
    } else {
        if (request.files.empty())
            report.end = BatchEnd::NothingSelected;
        questions.messageBox(QStringLiteral("You didn't select any Zip files to calculate!"),
                             QStringLiteral("Whoops!"), MsgIcon::Exclamation, MsgButtons::Ok);
    }
    return report;
}

} // namespace kelmar
