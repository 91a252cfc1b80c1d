// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "archive/ZipHandles.h"
#include "archive/ZipSource.h"

#include <QHash>
#include <QString>

#include <memory>
#include <unordered_map>
#include <vector>

typedef struct zip zip_t;

namespace kelmar {

class DeflateAhead;
class ZipComponent;
struct FileReader;

// The writing half of ZipComponent::compress: adds exactly the given files under exactly the
// given entry names, all or nothing.
//
// Before anything is written the new names are checked against each other and against the
// archive's entries, exactly and without regard to case (the archive must extract on file
// systems that ignore case), and against folders of the same name. A clash is settled by the
// source's OnClash. A name already held by an entry with the same size and CRC needs no new
// copy: the source counts as stored.
//
// Each source is read once, while libzip writes the archive at zip_close. Its identity when it
// was opened is what the outcome reports, and only when it was read to its end and had not
// changed meanwhile.
class ZipWriter
{
public:
    ZipWriter(ZipComponent& zip, CompressOutcome& outcome);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    int write(const std::vector<ZipSource>& sources);

private:
    // An entry name in use, by an entry of the archive (source < 0) or a new source.
    struct Holder
    {
        QString name;
        int source = -1;
        qint64 size = -1;
        quint32 crc = 0;
        bool crcKnown = false;
    };

    // The steps of write, in order.
    int checkCanWrite(const std::vector<ZipSource>& sources);
    // Each source's identity now (m_planned); *isArchive marks the archive itself.
    int identifySources(const std::vector<ZipSource>& sources, std::vector<bool>* isArchive);
    // Each source's entry name, empty for one left out (with a note saying why).
    int settleNames(const std::vector<ZipSource>& sources, const std::vector<bool>& isArchive,
                    std::vector<QString>* names);
    void startDeflating();
    // Writes the archive (libzip's zip_close) and records what was stored.
    int commit(ZipArchivePtr& archive);
    int readExisting(zip_t* archive);
    // The source's planned name, or an empty text to leave it out; a result code on failure.
    int settleName(const std::vector<ZipSource>& sources, int index, QString* name);
    const Holder* holderOf(const QString& name, QString* clashWith) const;
    void take(const QString& name, const Holder& holder);
    QString freeName(const QString& name) const;
    int addSource(zip_t* archive, const ZipSource& source, const QString& name,
                  const fs::FileIdentity& planned);

    ZipComponent& m_zip;
    CompressOutcome& m_outcome;
    QHash<QString, Holder> m_files;        // by case-folded name
    QHash<QString, QString> m_folders;     // case-folded folder path -> as written
    std::unique_ptr<DeflateAhead> m_ahead; // outlives the archive: its sources hand buffers back
    std::vector<std::unique_ptr<FileReader>> m_readers;
    std::vector<fs::FileIdentity> m_planned;
    QString m_archiveKey;
    std::unordered_map<QString, QString> m_storedFrom; // what this component stored there before
};

} // namespace kelmar
