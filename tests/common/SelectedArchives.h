// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchProgress.h"
#include "maintenance/UnzipFiles.h"

namespace kelmar::test {

class FakeHost;

// The selected archives of host's list, as the window hands them to a batch.
BatchFiles selectedArchives(const FakeHost& host);

// The request the unzip tab's options of host make for its selected archives, extracting into
// destination (ignored when the options put them beside the archives).
UnzipRequest unzipRequestFor(const FakeHost& host, const QString& destination = QString());

} // namespace kelmar::test
