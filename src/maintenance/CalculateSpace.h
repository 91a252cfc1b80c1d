#pragma once

#include <QString>
#include <QStringList>

namespace kelmar {

class BatchHost;
class ZipComponent;

// What Calculate Space in Zips found.
struct SpaceReport
{
    quint64 bytes = 0;      // exact, whatever the size of the archives
    int archives = 0;       // selected archives met, the unreadable ones included
    QStringList unreadable; // archives whose listing failed (their entries listed so far count)
    bool stopped = false;
    QString message; // the text of the closing message box
};

// "1,234,567 unzipped bytes in 3 files": digits grouped by thousands with the locale's
// separator (the C locale's too), "file" for one archive.
QString spaceMessage(quint64 bytes, int archives);

// "Calculate Space in Zips": totals the uncompressed sizes of the entries of every selected
// archive of the host's file list and says it in a message box. Nothing is extracted. An
// archive whose listing fails is logged and still counted.
SpaceReport calculate_space(BatchHost& host, ZipComponent& zip);

} // namespace kelmar
