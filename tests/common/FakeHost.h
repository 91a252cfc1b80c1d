// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchProgress.h"
#include "settings/Options.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

namespace kelmar::test {

// The scripted progress sink and questions of a test: answers to questions are queued
// beforehand, and everything the batch says is recorded for the assertions. It also keeps a
// file list and options, set by the test, from which tests build their requests as a front
// end would.
class FakeHost : public ProgressSink, public BatchQuestions
{
public:
    // The list shows these names of folder; `selected` marks the selected positions.
    void setFiles(const QString& folder, const QStringList& names,
                  const std::vector<bool>& selected = {});
    // Lists folder as the file list would (non-hidden files, sorted) and selects all.
    void listFolder(const QString& folder, bool selectAll = true);
    void select(int position, bool on = true);

    // The list: the listed folder and its entries (positions 0 to fileCount()-1).
    QString folder() const { return m_folder; }
    int fileCount() const { return int(m_names.size()); }
    QString fileName(int position) const { return m_names.at(position); }
    bool isSelected(int position) const { return m_selected.at(position); }
    // folder() joined with the entry's name.
    QString fullPath(int position) const;
    // Selected, and named like an archive.
    bool isSelectedArchive(int position) const;
    // The options of the settings tabs.
    Options options() const { return opts; }
    // The folder tree's folder; the list's folder when empty.
    QString tree;
    QString treeFolder() const { return tree.isEmpty() ? m_folder : tree; }

    // Answers, consumed in order by the questions. A question without a queued answer
    // fails the test and gets Cancel (or an empty text).
    void queueAnswer(MsgAnswer answer) { m_messageAnswers.push_back(answer); }
    void queueInput(std::optional<QString> text) { m_inputAnswers.push_back(std::move(text)); }
    // Called after each write_log, e.g. to press Stop when a line appears.
    std::function<void(const QString&)> onLog;
    std::function<void(const QString&)> onStatus;

    Options opts;
    // The worker count of the requests built from this host (0: one per processor core).
    int workers = 0;

    // What the batch did.
    QStringList log; // lines since the last clear_log
    QStringList statusTexts;
    std::vector<BatchCount> counts; // every batchProgress, in order
    QStringList questions;       // "title|text" of every message box
    std::vector<Question> kinds; // and what each was about
    // Stop pressed. Nothing here clears it: whoever runs a batch does, before it starts.
    bool stop = false;

    // ProgressSink
    void write_log(const QString& line) override;
    void clear_log() override { log.clear(); }
    void setStatusText(const QString& text) override
    {
        statusTexts.append(text);
        if (onStatus)
            onStatus(text);
    }
    void showCreditLine() override { statusTexts.append(QStringLiteral("<credit>")); }
    bool stopRequested() const override { return stop; }
    void batchProgress(const BatchCount& count) override { counts.push_back(count); }
    // BatchQuestions
    MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons, Question kind = Question::Notice) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override;

private:
    QString m_folder;
    QStringList m_names;
    std::vector<bool> m_selected;
    std::deque<MsgAnswer> m_messageAnswers;
    std::deque<std::optional<QString>> m_inputAnswers;
};

} // namespace kelmar::test
