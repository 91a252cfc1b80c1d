#pragma once

#include "maintenance/BatchHost.h"

#include <mutex>

namespace kelmar {

// The batch's host as one archive of a parallel batch sees it: every call reaches the real
// host one at a time (a question waits for the one before it to be answered), and log lines
// are kept back in a list of their own, for the batch to write once the archives before this
// one have written theirs.
class SerialHost : public BatchHost
{
public:
    SerialHost(BatchHost& host, std::mutex& lock, QStringList* heldLog)
        : m_host(host), m_lock(lock), m_log(heldLog)
    {
    }

    QString folder() const override
    {
        return locked([&] { return m_host.folder(); });
    }
    int fileCount() const override
    {
        return locked([&] { return m_host.fileCount(); });
    }
    QString fileName(int position) const override
    {
        return locked([&] { return m_host.fileName(position); });
    }
    bool isSelected(int position) const override
    {
        return locked([&] { return m_host.isSelected(position); });
    }
    QString treeFolder() const override
    {
        return locked([&] { return m_host.treeFolder(); });
    }
    QString treeDisplayName() const override
    {
        return locked([&] { return m_host.treeDisplayName(); });
    }
    QString tempPath() const override
    {
        return locked([&] { return m_host.tempPath(); });
    }
    Options options() const override
    {
        return locked([&] { return m_host.options(); });
    }

    void write_log(const QString& line) override;
    void clear_log() override;
    void setStatusText(const QString& text) override;
    void showCreditLine() override;
    void protect_form() override;
    void release_form() override;
    bool stopRequested() const override
    {
        return locked([&] { return m_host.stopRequested(); });
    }
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

    // What the pool's own callbacks do with the host, under the same lock: write an
    // archive's held-back log lines once it is its turn, and look at the stop flag.
    static void writeHeldLog(BatchHost& host, std::mutex& lock, const QStringList& lines)
    {
        std::lock_guard<std::mutex> guard(lock);
        for (const QString& line : lines)
            host.write_log(line);
    }
    static bool stopRequestedUnder(BatchHost& host, std::mutex& lock)
    {
        std::lock_guard<std::mutex> guard(lock);
        return host.stopRequested();
    }

private:
    template <typename F> auto locked(F&& f) const -> decltype(f())
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return f();
    }

    BatchHost& m_host;
    std::mutex& m_lock;
    QStringList* m_log;
};

} // namespace kelmar
