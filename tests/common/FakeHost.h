#pragma once

#include "maintenance/BatchHost.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <mutex>
#include <variant>
#include <vector>

namespace kelmar::test {

// A scripted BatchHost: the file list is set by the test, answers to questions are queued
// beforehand, and everything the batch says is recorded for the assertions.
class FakeHost : public BatchHost
{
public:
    // The list shows these names of folder; `selected` marks the selected positions.
    void setFiles(const QString& folder, const QStringList& names,
                  const std::vector<bool>& selected = {});
    // Lists folder as the file list would (non-hidden files, sorted) and selects all.
    void listFolder(const QString& folder, bool selectAll = true);
    void select(int position, bool on = true);

    // Answers, consumed in order by the questions. A question without a queued answer
    // fails the test and gets Cancel (or the cancel marker, or an empty text).
    void queueAnswer(MsgAnswer answer) { m_messageAnswers.push_back(answer); }
    // Nothing answers Cancel.
    void queueFolder(std::optional<QString> folder) { m_folderAnswers.push_back(folder); }
    void queueSaveName(std::optional<QString> path) { m_saveAnswers.push_back(path); }
    void queueInput(std::optional<QString> text) { m_inputAnswers.push_back(std::move(text)); }
    // Called after each write_log, e.g. to press Stop when a line appears.
    std::function<void(const QString&)> onLog;
    std::function<void(const QString&)> onStatus;

    Options opts;
    QString temp;

    // What the batch did.
    QStringList log; // lines since the last clear_log
    QStringList statusTexts;
    QStringList questions;       // "title|text" of every message box
    std::vector<Question> kinds; // and what each was about
    QStringList pickerTitles;
    int beeps = 0;
    int refreshes = 0;
    int counts = 0;
    int treeRefreshes = 0;
    int endProgramCalls = 0;
    int protects = 0;
    int releases = 0;
    bool busy = false;
    // Stop pressed. Nothing here clears it: whoever runs a batch does, before it starts.
    bool stop = false;

    // BatchHost
    QString folder() const override { return m_folder; }
    int fileCount() const override { return int(m_names.size()); }
    QString fileName(int position) const override { return m_names.at(position); }
    bool isSelected(int position) const override { return m_selected.at(position); }
    QString tempPath() const override;
    Options options() const override { return opts; }
    void write_log(const QString& line) override;
    void clear_log() override { log.clear(); }
    void setStatusText(const QString& text) override
    {
        statusTexts.append(text);
        if (onStatus)
            onStatus(text);
    }
    void showCreditLine() override { statusTexts.append(QStringLiteral("<credit>")); }
    void protect_form() override
    {
        ++protects;
        busy = true;
    }
    void release_form() override
    {
        ++releases;
        busy = false;
    }
    bool stopRequested() const override { return stop; }
    void requestStop() override { stop = true; }
    MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons, Question kind = Question::Notice) override;
    std::optional<QString> browseForFolder(const QString& title) override;
    std::optional<QString> saveFileName(const QString& title, const QString& filter,
                                        const QString& initialName) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override;
    void beep() override { ++beeps; }
    void refresh() override;
    void update_count() override { ++counts; }
    void refreshTree() override { ++treeRefreshes; }
    void endProgram() override { ++endProgramCalls; }
    // The folder tree's folder; the list's folder when empty.
    QString tree;
    QString treeFolder() const override { return tree.isEmpty() ? m_folder : tree; }

private:
    QString m_folder;
    QStringList m_names;
    std::vector<bool> m_selected;
    std::deque<MsgAnswer> m_messageAnswers;
    std::deque<std::optional<QString>> m_folderAnswers;
    std::deque<std::optional<QString>> m_saveAnswers;
    std::deque<std::optional<QString>> m_inputAnswers;
};

} // namespace kelmar::test
