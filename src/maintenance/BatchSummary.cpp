// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/BatchSummary.h"

#include <QLocale>
#include <QSet>
#include <QStringList>

namespace kelmar {

namespace {

QString number(qint64 n)
{
    // The separators of the closing line are the same on every machine: scripts read it.
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    return english.toString(n);
}

// "N words" for each count that is not zero (or every count with always).
struct Part
{
    int count;
    QString words;
    bool always = false;
};

QStringList shown(const std::vector<Part>& list)
{
    QStringList result;
    for (const Part& p : list) {
        if (p.count != 0 || p.always)
            result.append(number(p.count) + u' ' + p.words);
    }
    return result;
}

// head, then the parts after ", ", and where anything failed the pointer to the log.
QString line(const QString& head, const std::vector<Part>& list, const BatchReport& r)
{
    QStringList all{head};
    all += shown(list);
    QString text = all.join(QStringLiteral(", "));
    if (r.failedCount() > 0 || r.count(ItemResult::Kept) > 0)
        text += QStringLiteral(": see the log");
    return text;
}

QString testSummary(const BatchReport& r)
{
    const int bad = r.failedCount();
    int setAside = 0;
    for (const ItemOutcome& item : r.items)
        setAside += item.result == ItemResult::Failed && !item.target.isEmpty() ? 1 : 0;
    QString badWords = QStringLiteral("bad");
    if (bad > 0 && setAside == bad)
        badWords += QStringLiteral(" (set aside)");
    else if (setAside > 0)
        badWords += QStringLiteral(" (%1 set aside)").arg(number(setAside));
    return QStringLiteral("Tested ") + countOf(qint64(r.items.size()), "archive", "archives") +
           QStringLiteral(": ") +
           shown({{r.count(ItemResult::Done), QStringLiteral("good"), true},
                  {bad, badWords, true},
                  {r.count(ItemResult::NotJudged), QStringLiteral("could not be tested"), true}})
               .join(QStringLiteral(", "));
}

QString unzipSummary(const BatchReport& r, bool deleting)
{
    const int kept = r.count(ItemResult::Kept);
    const int done = r.count(ItemResult::Done);
    QString head = QStringLiteral("Unzipped ") + countOf(done + kept, "archive", "archives");
    if (deleting) {
        head += QStringLiteral(" (") + number(done) + QStringLiteral(" deleted");
        if (kept > 0)
            head += QStringLiteral(", ") + number(kept) + QStringLiteral(" kept: see the log");
        head += u')';
    }
    QStringList all{head};
    all += shown({{r.failedCount(), QStringLiteral("failed")},
                  {r.count(ItemResult::Unchanged), QStringLiteral("had nothing to extract")}});
    QString text = all.join(QStringLiteral(", "));
    if (r.failedCount() > 0)
        text += QStringLiteral(": see the log");
    return text;
}

QString zipSummary(const BatchReport& r, bool folders)
{
    int files = 0;
    int written = 0;
    // Files of the same name from several folders go into one archive: it counts once.
    QSet<QString> archives;
    for (const ItemOutcome& item : r.items) {
        if (item.result == ItemResult::Done || item.result == ItemResult::Kept) {
            files += int(item.sources.size());
            // The archive is the item itself, or for folders where the folder went.
            const QString& archive = item.target.isEmpty() ? item.path : item.target;
            if (!archives.contains(archive))
                ++written;
            archives.insert(archive);
        }
    }
    const QString head =
        folders ? QStringLiteral("Zipped ") + countOf(written, "folder", "folders") +
                      QStringLiteral(" into archives")
                : QStringLiteral("Zipped ") + countOf(files, "file", "files") +
                      QStringLiteral(" into ") + countOf(written, "archive", "archives");
    return line(head,
                {{r.count(ItemResult::Kept), folders ? QStringLiteral("folders kept")
                                                     : QStringLiteral("with a source kept")},
                 {r.failedCount(), QStringLiteral("failed")}},
                r);
}

// The batches whose items are taken one by one: "VERB N NOUNS[ AFTER], N unchanged, ...".
QString plainSummary(const BatchReport& r, const char* verb, const char* one, const char* many,
                     const char* after, const char* unchanged)
{
    QString head = QLatin1String(verb) + u' ' + countOf(r.count(ItemResult::Done), one, many);
    if (*after)
        head += u' ' + QLatin1String(after);
    return line(head,
                {{r.count(ItemResult::Unchanged), QLatin1String(unchanged)},
                 {r.count(ItemResult::Skipped), QStringLiteral("left alone")},
                 {r.failedCount(), QStringLiteral("failed")}},
                r);
}

QString spaceSummary(const BatchReport& r)
{
    return line(QStringLiteral("Listed ") + countOf(qint64(r.items.size()), "archive", "archives") +
                    QStringLiteral(": ") + countOf(qint64(r.bytes), "byte", "bytes") +
                    QStringLiteral(" unzipped"),
                {{r.failedCount(), QStringLiteral("could not be read")}}, r);
}

QString summaryOf(const SummaryOf& what, const BatchReport& r)
{
    switch (what.kind) {
    case BatchKind::Test:
        return testSummary(r);
    case BatchKind::Unzip:
        return unzipSummary(r, what.deleting);
    case BatchKind::Zip:
        return zipSummary(r, false);
    case BatchKind::FoldersToZips:
        return zipSummary(r, true);
    case BatchKind::Space:
        return spaceSummary(r);
    case BatchKind::ZipName:
        return plainSummary(r, "Renamed", "archive", "archives", "after the file inside",
                            "already so named");
    case BatchKind::Rezip:
        return plainSummary(r, "Rebuilt", "archive", "archives", "", "unchanged");
    case BatchKind::RemoveNonRoms:
        return plainSummary(r, "Removed non-ROM files from", "archive", "archives", "",
                            "had none");
    case BatchKind::Attributes:
        return plainSummary(r, "Changed the attributes in", "archive", "archives", "",
                            "unchanged");
    case BatchKind::Delete:
        return plainSummary(r, "Deleted", "file", "files", "", "unchanged");
    case BatchKind::Rename:
        return plainSummary(r, "Renamed", "file", "files", "", "already so named");
    }
    return QString();
}

} // namespace

QString countOf(qint64 count, const char* one, const char* many)
{
    return number(count) + u' ' + QLatin1String(count == 1 ? one : many);
}

QString batchSummary(const SummaryOf& what, const BatchReport& report)
{
    const bool nothing = report.items.empty() && report.end == BatchEnd::Finished;
    if (nothing || report.end == BatchEnd::NothingSelected || report.end == BatchEnd::Cancelled ||
        report.end == BatchEnd::EndProgram)
        return QString();
    QString text = summaryOf(what, report);
    if (report.stopped())
        text += QStringLiteral(" (stopped)");
    return text;
}

} // namespace kelmar
