#pragma once

#include <QString>

#include <functional>
#include <vector>

namespace kelmar {

class BatchHost;
class ZipComponent;

// What Test Zips found, for callers that want more than the log (the command line).
struct TestZipsReport
{
    enum class Verdict { Good, Bad, NotTested };
    struct Archive
    {
        QString path;
        Verdict verdict = Verdict::Good;
        int result = 0;      // the component's code of the last test
        QString reason;      // empty for a good archive
        QString renamedTo;   // the ".bad" path when the archive was set aside
    };
    std::vector<Archive> archives;
    bool stopped = false;
    bool nothingSelected = false;

    int count(Verdict verdict) const;
};

// "Test Zips": tests every selected archive of the host's file list, logs "<name> is bad!"
// for each damaged one and renames it to <name>.bad (unless that name is taken), and logs why
// an archive could not be judged (encrypted without the right password, a compression method
// this build cannot read) without renaming it. Decrypts with the unzip settings' password
// when its box is ticked; leaves the component's other properties alone.
//
// Runs the whole batch frame: clear_log, busy state, Stop between archives, the "Whoops!"
// message when no archive is selected, the beep, refresh. onArchive, when given, is called
// before each archive is tested (1-based number, total, path).
TestZipsReport test_zip_files(
    BatchHost& host, ZipComponent& zip,
    const std::function<void(int number, int total, const QString& path)>& onArchive = {});

} // namespace kelmar
