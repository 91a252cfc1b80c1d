#include "maintenance/ExtractionRecord.h"

#include "fs/NativeName.h"

#include <sys/stat.h>

namespace kelmar {

void ExtractionRecord::clear()
{
    m_expected.clear();
    m_written.clear();
}

void ExtractionRecord::expect(const QString& path, qint64 size)
{
    m_expected.insert(path, size);
}

void ExtractionRecord::written(const QString& path)
{
    m_written.insert(path, identityOf(path));
}

ExtractionRecord::Identity ExtractionRecord::identityOf(const QString& path)
{
    struct stat st;
    if (::lstat(fs::nativeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size)};
}

bool ExtractionRecord::allOnDisk(QString* why) const
{
    if (m_expected.isEmpty()) {
        *why = QStringLiteral("nothing in it was selected to extract");
        return false;
    }
    for (auto it = m_expected.cbegin(); it != m_expected.cend(); ++it) {
        const auto written = m_written.constFind(it.key());
        if (written == m_written.cend()) {
            *why = it.key() + QStringLiteral(" was not extracted");
            return false;
        }
        const Identity now = identityOf(it.key());
        if (now.size != it.value() || now.size != written->size || now.device != written->device ||
            now.inode != written->inode) {
            *why = it.key() + QStringLiteral(" is no longer as it was extracted");
            return false;
        }
    }
    return true;
}

} // namespace kelmar
