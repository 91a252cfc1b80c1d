#pragma once

#include <QString>

class QWidget;

namespace basMain {

// The folder picker, owned by owner and showing title. Returns the chosen folder, or a text
// of one NUL character when the user cancels.
QString BrowseForFolder(const QString& title, QWidget* owner);

} // namespace basMain
