#pragma once

#include "maintenance/BatchProgress.h"
#include "maintenance/UnzipFiles.h"

namespace kelmar {
class BatchHost;
}

namespace kelmar::test {

// The selected archives of host's list, as the window hands them to a batch.
BatchFiles selectedArchives(const BatchHost& host);

// The request the unzip tab's options of host make for its selected archives, extracting into
// destination (ignored when the options put them beside the archives).
UnzipRequest unzipRequestFor(const BatchHost& host, const QString& destination = QString());

} // namespace kelmar::test
