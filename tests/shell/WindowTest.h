// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

class frmKelmar;

namespace kelmar::test {

// Settings and favourites go to configFolder, never the user's own, and dialogs take their
// answers from the script.
void useTestSettings(const QString& configFolder);

// Calls start (a click, a menu entry) and waits, handling events, until the batch it starts
// has finished. False when start started none.
bool runBatch(frmKelmar& window, const std::function<void()>& start);

// Handles this thread's events until condition holds, looking again after each event. A
// batch's thread that changes what condition reads, and nothing else, calls wakeUiThread().
void waitUntil(const std::function<bool()>& condition);
void wakeUiThread();

} // namespace kelmar::test
