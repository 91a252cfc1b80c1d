#pragma once

#include <QString>

namespace kelmar {

// The values of the option controls on the three settings tabs, named after their controls.
// Check boxes hold 0 (clear), 1 (ticked) or 2 (greyed); only 1 counts as set.
// The initial values are the controls' design values, which are also the defaults of the
// settings store.
struct Options
{
    // "ZIP Settings"
    bool radMultipleZIPs = true;
    int chkUseOriginalExtensions = 0;
    int cmbFileCase = 0; // 0 "Use Lower Case", 1 "Use Upper Case", 2 "Use Original Case"
    bool radOneZIP = false;
    int chkDeleteFiles = 0;
    int chkUseZIPPaths = 0;
    int chkSaveZIPsinSameFolder = 0;
    int sliCompression = 6; // 0 to 9
    int chkInfoFile = 0;
    QString txtInfoFile;
    int chkZIPPassword = 0;
    QString txtZIPPassword; // never stored

    // "UnZIP Settings"
    int cmbUnzipCase = 0;
    int chkRenameFiles = 0;
    int chkExtractROMs = 1;
    int chkDeleteZIPFiles = 0;
    int chkIgnoreFolders = 1;
    int chkUnziptoSameFolder = 0;
    int chkUnzipPassword = 0;
    QString txtUnzipPassword;
    int chkZIPsToFolders = 0;

    // "Other Settings"
    QString lblROMFilter; // "*.ZIP;*.NES" form
    int chkSound = 1;

    // The password for new archives, or empty when its box is not ticked.
    QString zipPassword() const { return isSet(chkZIPPassword) ? txtZIPPassword : QString(); }
    // The password for reading archives, or empty when its box is not ticked.
    QString unzipPassword() const { return isSet(chkUnzipPassword) ? txtUnzipPassword : QString(); }

    static bool isSet(int checkBoxValue) { return checkBoxValue == 1; }
};

// Index values of the two case combos.
enum CaseChoice { UseLowerCase = 0, UseUpperCase = 1, UseOriginalCase = 2 };

} // namespace kelmar
