#pragma once

#include "maintenance/BatchHost.h"

#include <atomic>

namespace kelmar {

// ArchiveEvents speaks to a BatchHost; a batch that takes a typed request lends it its
// progress sink and questions through this. The file list is empty and the window's calls
// do nothing: the events need only the status panel, the log, the one question they ask
// and the stop flag. requestStop (No to "Do you want to try to continue?") sets the batch's
// own flag, which stopRequested reads beside the sink's; one flag serves the whole batch, so
// no archive starts after it.
class EventsHost : public BatchHost
{
public:
    EventsHost(ProgressSink& sink, BatchQuestions& questions, std::atomic<bool>& stop)
        : m_sink(sink), m_questions(questions), m_stop(stop)
    {
    }

    // ProgressSink and BatchQuestions: passed on.
    void write_log(const QString& line) override { m_sink.write_log(line); }
    void clear_log() override { m_sink.clear_log(); }
    void setStatusText(const QString& text) override { m_sink.setStatusText(text); }
    void showCreditLine() override { m_sink.showCreditLine(); }
    bool stopRequested() const override { return m_stop.load() || m_sink.stopRequested(); }
    MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons, Question kind = Question::Notice) override
    {
        return m_questions.messageBox(text, title, icon, buttons, kind);
    }
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override
    {
        return m_questions.inputBox(prompt, title, defaultText);
    }
    void requestStop() override { m_stop.store(true); }

    // The rest of the old shape: nothing to say.
    QString folder() const override { return QString(); }
    int fileCount() const override { return 0; }
    QString fileName(int) const override { return QString(); }
    bool isSelected(int) const override { return false; }
    QString tempPath() const override { return QString(); }
    Options options() const override { return Options(); }
    void protect_form() override {}
    void release_form() override {}
    std::optional<QString> browseForFolder(const QString&) override { return std::nullopt; }
    std::optional<QString> saveFileName(const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    void beep() override {}
    void refresh() override {}
    void update_count() override {}

private:
    ProgressSink& m_sink;
    BatchQuestions& m_questions;
    std::atomic<bool>& m_stop;
};

} // namespace kelmar
