#pragma once

#include <QString>
#include <QtGlobal>

typedef struct zip zip_t;

namespace kelmar {

class ZipComponent;

// The extracting half of ZipComponent::extract: writes the entries the component's fileMask
// selects below its extractFolder, with or without their folder names.
//
// A name that would lead outside the destination (".." or a link on the way) or that holds a
// control character is refused, and so is a symbolic link entry. Each file is written to a
// temporary file in its folder and takes its name only when complete and checked, and only
// while the name is free: an existing file is never replaced. When it holds the entry's bytes
// the entry counts as extracted; otherwise the entry fails with ZipExistsAndDiffers.
class ZipExtractor
{
public:
    explicit ZipExtractor(ZipComponent& zip);

    // archive: opened read-only by the component, which still owns it.
    int extract(zip_t* archive);

    // See ZipComponent::extractedPath.
    static QString extractedPath(const QString& destination, const QString& entryName,
                                 bool keepFolderNames);

private:
    int extractEntry(zip_t* archive, quint64 index, qint64 size, qint64 mtime,
                     const QString& entryName, const QString& target);
    // existingSize: the size of the file in the way, -1 when it is not an ordinary file.
    int matchExisting(zip_t* archive, quint64 index, qint64 size, const QString& target,
                      qint64 existingSize);

    ZipComponent& m_zip;
};

} // namespace kelmar
