#pragma once

#include <QString>

#include <functional>

class frmKelmar;

namespace kelmar::test {

// Settings and favourites go to configFolder, never the user's own, and dialogs take their
// answers from the script.
void useTestSettings(const QString& configFolder);

// Calls start (a click, a menu entry) and waits, handling events, until the batch it starts
// has finished. False when it did not finish in time.
bool runBatch(frmKelmar& window, const std::function<void()>& start, int timeoutMs = 30000);

} // namespace kelmar::test
