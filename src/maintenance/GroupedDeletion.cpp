#include "maintenance/GroupedDeletion.h"

#include "fs/NativeName.h"

#include <QHash>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelmar {

namespace {

// One call flushes the whole file system that holds folder; 0 or errno.
int syncFileSystemOf(const QString& folder)
{
    const int fd = ::open(fs::nativeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno ? errno : EIO;
    const int result = ::syncfs(fd) == 0 ? 0 : errno;
    ::close(fd);
    return result;
}

} // namespace

GroupedDeletion::GroupedDeletion(std::function<void(const QStringList&)> writeLog)
    : m_writeLog(std::move(writeLog))
{
}

GroupedDeletion::~GroupedDeletion()
{
    finish();
}

void GroupedDeletion::add(const QStringList& lines, const QString& folder, Deletion deleteIt)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (!m_thread.joinable()) {
        m_finishing = false;
        m_thread = std::thread([this] { run(); });
    }
    m_changed.wait(lock, [this] { return int(m_items.size()) < kMaxWaiting; });
    if (deleteIt && m_waitingDeletions++ == 0)
        m_firstDeletion = std::chrono::steady_clock::now();
    m_items.push_back({lines, folder, std::move(deleteIt)});
    m_changed.notify_all();
}

void GroupedDeletion::finish()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_thread.joinable())
            return;
        m_finishing = true;
        m_changed.notify_all();
    }
    m_thread.join();
}

void GroupedDeletion::run()
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        // Lines with no deletion among them go out at once; a deletion waits for company.
        const bool due = m_finishing || m_waitingDeletions == 0 || m_waitingDeletions >= kGroup ||
                         std::chrono::steady_clock::now() - m_firstDeletion >=
                             std::chrono::milliseconds(kWaitMs);
        if (!m_items.empty() && due) {
            std::deque<Item> items;
            items.swap(m_items);
            m_waitingDeletions = 0;
            m_changed.notify_all();
            lock.unlock();
            handle(items);
            lock.lock();
            continue;
        }
        if (m_items.empty() && m_finishing)
            return;
        if (m_items.empty())
            m_changed.wait(lock);
        else
            m_changed.wait_until(lock, m_firstDeletion + std::chrono::milliseconds(kWaitMs));
    }
}

void GroupedDeletion::handle(std::deque<Item>& items)
{
    // Every archive here was extracted before this flush starts, so one flush per file
    // system covers them all.
    QHash<QString, int> flushedFolders;
    QHash<quint64, int> flushedDevices;
    for (const Item& item : items) {
        if (!item.deleteIt || flushedFolders.contains(item.folder))
            continue;
        struct stat st;
        const bool known = ::stat(fs::nativeName(item.folder).constData(), &st) == 0;
        if (known && flushedDevices.contains(quint64(st.st_dev))) {
            flushedFolders.insert(item.folder, flushedDevices.value(quint64(st.st_dev)));
            continue;
        }
        const int result = syncFileSystemOf(item.folder);
        flushedFolders.insert(item.folder, result);
        if (known)
            flushedDevices.insert(quint64(st.st_dev), result);
    }
    for (Item& item : items) {
        QStringList lines = std::move(item.lines);
        if (item.deleteIt) {
            const int error = flushedFolders.value(item.folder);
            lines += item.deleteIt(error == 0, error);
        }
        if (!lines.isEmpty())
            m_writeLog(lines);
    }
}

} // namespace kelmar
