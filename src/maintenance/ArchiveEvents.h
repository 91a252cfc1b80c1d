// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

namespace kelmar {

class BatchQuestions;
class ProgressSink;
class ZipComponent;

// The status number of a batch whose archives (or files) run at once: one more than those
// finished, never past the total. Workers finish in any order and report progress whenever
// they like, so the number is read and its text handed on under one lock: the number the
// user sees only grows.
class FinishedCount
{
public:
    void finishOne()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_finished;
    }
    // Calls show(number) under the count's lock.
    template <typename F> void show(int total, F&& show)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        show(std::min(m_finished + 1, total));
    }

private:
    std::mutex m_lock;
    int m_finished = 0;
};

// The progress of the archive batches: the handlers of the archive component's two events
// (or of a reader's progress), and the batch fields they use.
//
// fileProgress writes the progress text of the zip, unzip and rezip batches into status
// panel 1 and advances currentFileNumber when a file is finished. entryListed collects entry
// names for the callers of list. Deleting a zip batch's sources is SourceDeletion's part.
//
// The handlers run on the thread that runs the component (the batch's thread) and only reach
// the window through the sink, whose setStatusText never waits for painting.
class ArchiveEvents : public QObject
{
    Q_OBJECT

public:
    enum Kind { NoBatch = 0, ZipBatch = 1, UnzipBatch = 2, RezipBatch = 3 };

    // Unconnected: the batch calls fileProgress itself. The answer No to an unexpected
    // error sets *endProgram (which also counts as a stop already asked for), when given.
    ArchiveEvents(ProgressSink& sink, BatchQuestions& questions, std::atomic<bool>* endProgram,
                  QObject* parent = nullptr);
    // Connected to zip's events as well: the handlers run inside zip's operations.
    ArchiveEvents(ProgressSink& sink, BatchQuestions& questions, std::atomic<bool>* endProgram,
                  ZipComponent& zip, QObject* parent = nullptr);

    int operationKind() const { return m_operationKind; }
    void setOperationKind(int kind)
    {
        m_operationKind = kind;
        m_lastStatus.clear(); // the panel may have been given other text since
    }
    // What the batch asked for that the events act on: zip's info file, never counted.
    struct Rules
    {
        QString infoFile;
    };
    void setRules(const Rules& rules) { m_rules = rules; }

    int currentFileNumber() const { return m_currentFileNumber; }
    void setCurrentFileNumber(int number) { m_currentFileNumber = number; }
    int totalFileCount() const { return m_totalFileCount; }
    void setTotalFileCount(int count) { m_totalFileCount = count; }
    // Archives of one batch running at once count their finished files (a zip batch) or
    // archives (a rezip batch) together: the status then shows the number of the batch, not
    // of one archive.
    void shareFinishedCount(FinishedCount* finished) { m_sharedFinished = finished; }
    // The archive in hand of a rezip batch sharing a count is done: the count moves on, shown
    // with a full bar, as a zip batch shows a finished file.
    void archiveFinished();
    QStringList& listedNames() { return m_listedNames; }

    // The handlers.
    void fileProgress(const QString& name, int percent);
    void entryListed(const QString& name, qint64 size);

    // "|" times the percent divided by 10 (halves to even), then "." up to ten characters.
    static QString progressBar(int percent);

    // The component reports clean absolute paths; the info file's path is as the user typed
    // it. Comparing them as typed would take "/roms/../info.nfo" for a source.
    static bool isSamePath(const QString& reported, const QString& typed);

signals:
    // The user answered No to "Do you want to try to continue?": the program is to end.
    void quitRequested();

private:
    void handleProgress(const QString& name, int percent);
    void advance();
    void showProgress(const QString& name, int percent);

    ProgressSink& m_sink;
    BatchQuestions& m_questions;
    std::atomic<bool>* m_endProgram = nullptr;
    int m_operationKind = NoBatch;
    Rules m_rules;
    int m_currentFileNumber = 0;
    int m_totalFileCount = 0;
    FinishedCount* m_sharedFinished = nullptr;
    QStringList m_listedNames;
    QString m_lastStatus;
};

} // namespace kelmar
