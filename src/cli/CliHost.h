#pragma once

#include "maintenance/BatchHost.h"

#include <QStringList>
#include <QTextStream>

#include <atomic>
#include <functional>

namespace kelmar::cli {

// The command line's answer to what a batch needs: a file list given by the arguments (every
// entry selected), the options from the settings store and flags, log lines on stdout,
// messages on stderr, and the stop flag that Ctrl+C sets. Questions are answered by their
// kind: by `questions` when a command set it, else with the safe answer (No, Cancel), so
// nothing waits for a keyboard.
class CliHost : public BatchHost
{
public:
    CliHost(const Options& options, const std::atomic<bool>& interrupted, QTextStream& out,
            QTextStream& err, bool echoLog);

    void setFiles(const QString& folder, const QStringList& names);

    QString folder() const override { return m_folder; }
    int fileCount() const override { return int(m_names.size()); }
    QString fileName(int position) const override { return m_names.at(position); }
    bool isSelected(int) const override { return true; }
    QString tempPath() const override;
    Options options() const override { return m_options; }
    void write_log(const QString& line) override;
    void clear_log() override {}
    void setStatusText(const QString&) override {}
    void showCreditLine() override {}
    void protect_form() override {}
    void release_form() override {}
    // Ctrl+C, or a batch that asked to stop (the user chose to end after an error). A run of
    // kelmar-cli is one batch per folder, and a stop ends them all.
    bool stopRequested() const override { return m_stop || m_interrupted.load(); }
    void requestStop() override { m_stop = true; }
    MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons, Question kind = Question::Notice) override;
    // The folder picker answers folderAnswer (set from a flag), else is cancelled.
    std::optional<QString> browseForFolder(const QString&) override { return given(folderAnswer); }
    // No command asks where to save: each is told by its flags.
    std::optional<QString> saveFileName(const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    void beep() override {}
    void refresh() override {}
    void update_count() override {}

    QString folderAnswer;
    // Answers the questions of the kinds a command knows; any other question, and every
    // question when unset, gets the safe answer (No, Cancel). The message is printed on
    // stderr first either way.
    std::function<std::optional<MsgAnswer>(Question kind, MsgButtons buttons)> questions;

private:
    static std::optional<QString> given(const QString& answer)
    {
        return answer.isEmpty() ? std::nullopt : std::optional<QString>(answer);
    }

    Options m_options;
    const std::atomic<bool>& m_interrupted;
    QTextStream& m_out;
    QTextStream& m_err;
    bool m_echoLog;
    bool m_stop = false;
    bool m_outputGone = false;
    QString m_folder;
    QStringList m_names;
};

} // namespace kelmar::cli
