#pragma once

#include <QString>

#include <vector>

namespace kelmar {

class BatchHost;
class ZipComponent;

// What "to Zipped Filename" did with each selected archive.
struct ToZipFilenameReport
{
    enum class Outcome {
        Renamed,   // the archive now bears the name of the file it holds
        NotSingle, // it holds no entry or more than one: left alone
        AlreadyNamed,
        Taken,  // the new name was taken: logged, or asked about when hidden
        Failed, // the rename itself failed: logged
    };
    struct Archive
    {
        QString path;
        QString newPath; // empty when no new name could be made
        Outcome outcome = Outcome::NotSingle;
    };
    std::vector<Archive> archives;

    int count(Outcome outcome) const;
};

// "to Zipped Filename": gives each selected archive of the host's list the name of the one
// file it holds (PAC.ZIP holding pacman.rom becomes pacman.zip in the same folder). Archives
// holding no entry or several are left alone. A rename never replaces an existing file,
// hidden or not. No busy state, no Stop; the window is disabled while it runs.
ToZipFilenameReport to_zip_filename(BatchHost& host, ZipComponent& zip);

} // namespace kelmar
