#pragma once

#include <QHash>
#include <QString>

namespace kelmar {

// What extracting one archive is to leave on disk, and whether it did: the archive may be
// deleted only when every file it was to give is there, as written, and there is at least
// one. Paths are full paths as the component reports them.
class ExtractionRecord
{
public:
    void clear();
    // A file the archive is to give, with its uncompressed size (several entries may name one
    // file; the last size counts, and a differing one fails at extraction anyway).
    void expect(const QString& path, qint64 size);
    // The component reports the file complete: remembers which file that is now.
    void written(const QString& path);

    int expectedCount() const { return int(m_expected.size()); }
    // True when every expected file was written and is still the very file written, at its
    // size; otherwise false, with the first file that is not in *why.
    bool allOnDisk(QString* why) const;

private:
    struct Identity
    {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = -1;
    };
    static Identity identityOf(const QString& path);

    QHash<QString, qint64> m_expected;
    QHash<QString, Identity> m_written;
};

} // namespace kelmar
