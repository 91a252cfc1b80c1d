// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/Options.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace kelmar {

// The file list and the options as they stood when a batch started: what the batch works
// on, whatever the user does to the window meanwhile.
struct BatchSnapshot
{
    QString folder;             // the listed folder
    QString treeFolder;         // the folder the folder tree shows
    QStringList names;          // the listed names, in the list's order
    std::vector<char> selected; // one flag per name
    Options options;
};

} // namespace kelmar
