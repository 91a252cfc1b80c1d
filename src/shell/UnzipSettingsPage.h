// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/Options.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace kelmar {

// The "UnZIP Settings" tab: how archives are unzipped. It loads and saves its own part of
// the options.
class UnzipSettingsPage : public QWidget
{
    Q_OBJECT
public:
    explicit UnzipSettingsPage(QWidget* parent = nullptr);

    void load(const Options& options);
    void save(Options& options) const;

private:
    QComboBox* cmbUnzipCase = nullptr;
    QCheckBox* chkRenameFiles = nullptr;
    QCheckBox* chkExtractROMs = nullptr;
    QCheckBox* chkDeleteZIPFiles = nullptr;
    QCheckBox* chkIgnoreFolders = nullptr;
    QCheckBox* chkUnziptoSameFolder = nullptr;
    QCheckBox* chkZIPsToFolders = nullptr;
    QCheckBox* chkUnzipPassword = nullptr;
    QLineEdit* txtUnzipPassword = nullptr;
};

} // namespace kelmar
