#pragma once

#include "maintenance/BatchHost.h"

#include <QMutex>
#include <QObject>
#include <QString>

class frmKelmar;

namespace kelmar {

class BatchRunner;

// The window's side of BatchHost. A batch runs on the runner's thread and sees the file list
// and the options only as the runner's snapshot, never the live widgets; everything that
// touches a widget is handed to the window's thread, and questions wait there for their
// answer.
class WindowHost : public QObject, public BatchHost
{
    Q_OBJECT

public:
    WindowHost(frmKelmar& window, BatchRunner& runner);

    QString folder() const override;
    int fileCount() const override;
    QString fileName(int position) const override;
    bool isSelected(int position) const override;
    QString treeFolder() const override;
    QString tempPath() const override;
    Options options() const override;

    void write_log(const QString& line) override;
    void clear_log() override;
    void setStatusText(const QString& text) override;
    void showCreditLine() override;

    void protect_form() override;
    void release_form() override;
    bool stopRequested() const override;
    void requestStop() override;

    MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons, Question kind = Question::Notice) override;
    std::optional<QString> browseForFolder(const QString& title) override;
    std::optional<QString> saveFileName(const QString& title, const QString& filter,
                                        const QString& initialName) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override;
    void beep() override;

    void refresh() override;
    void update_count() override;
    void refreshTree() override;
    void endProgram() override;

private:
    // Runs f on the window's thread and waits for its result.
    template <typename F> auto onUi(F&& f) -> decltype(f());
    void flushStatusText();

    frmKelmar& m_window;
    BatchRunner& m_runner;

    // Progress arrives far faster than anyone can read it: the newest text waits here and
    // one repaint at a time is posted.
    QMutex m_statusMutex;
    QString m_pendingStatus;
    bool m_statusPosted = false;
};

} // namespace kelmar
