// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kelmar {

// The state of a check box, with the numbers it is stored as. Only Ticked counts as set.
enum class Check { Clear = 0, Ticked = 1, Greyed = 2 };

// The choices of the two case combos, with their index values.
enum CaseChoice { UseLowerCase = 0, UseUpperCase = 1, UseOriginalCase = 2 };

// The values of the option controls on the three settings tabs, named after their controls.
// The initial values are the controls' design values, which are also the defaults of the
// settings store.
struct Options
{
    // "ZIP Settings"
    bool radMultipleZIPs = true;
    Check chkUseOriginalExtensions = Check::Clear;
    CaseChoice cmbFileCase = UseLowerCase;
    bool radOneZIP = false;
    Check chkDeleteFiles = Check::Clear;
    Check chkUseZIPPaths = Check::Clear;
    Check chkSaveZIPsinSameFolder = Check::Clear;
    int sliCompression = 6; // 0 to 9
    Check chkInfoFile = Check::Clear;
    QString txtInfoFile;
    Check chkZIPPassword = Check::Clear;
    QString txtZIPPassword; // never stored
    Check chkTorrentZip = Check::Clear; // ReZip and ZIP Files write the TorrentZip layout

    // "UnZIP Settings"
    CaseChoice cmbUnzipCase = UseLowerCase;
    Check chkRenameFiles = Check::Clear;
    Check chkExtractROMs = Check::Ticked;
    Check chkDeleteZIPFiles = Check::Clear;
    Check chkIgnoreFolders = Check::Ticked;
    Check chkUnziptoSameFolder = Check::Clear;
    Check chkUnzipPassword = Check::Clear;
    QString txtUnzipPassword;
    Check chkZIPsToFolders = Check::Clear;

    // "Other Settings"
    QString lblROMFilter; // "*.ZIP;*.NES" form
    Check chkSound = Check::Ticked;
    Check chkCheckTorrentZip = Check::Clear; // Test Zips logs the archives not TorrentZip
    Check chkDetailsView = Check::Clear;  // the file list shows size, date and test result
    Check chkNaturalOrder = Check::Clear; // "Rev 2" before "Rev 10" in the file list
    Check chkTestOnly = Check::Clear; // Test Zips judges, and renames nothing

    // "Control"
    Check chkIncludeSubFolders = Check::Clear; // the list holds the sub-folders' files too

    // The password for new archives, or empty when its box is not ticked.
    QString zipPassword() const { return isSet(chkZIPPassword) ? txtZIPPassword : QString(); }
    // The password for reading archives, or empty when its box is not ticked.
    QString unzipPassword() const { return isSet(chkUnzipPassword) ? txtUnzipPassword : QString(); }

    static bool isSet(Check box) { return box == Check::Ticked; }
};

} // namespace kelmar
