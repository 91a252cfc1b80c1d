#include "shell/BrowseForFolder.h"

#include "shell/Dialogs.h"

namespace basMain {

QString BrowseForFolder(const QString& title, QWidget* owner)
{
    return kelmar::Dialogs::browseForFolder(owner, title);
}

} // namespace basMain
