// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/Options.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSlider;
class QToolButton;

namespace kelmar {

// The "ZIP Settings" tab: how files are zipped. It loads and saves its own part of the
// options.
class ZipSettingsPage : public QWidget
{
    Q_OBJECT
public:
    explicit ZipSettingsPage(QWidget* parent = nullptr);

    void load(const Options& options);
    void save(Options& options) const;

private:
    // The frames of the page, each with its controls.
    QWidget* buildRules();
    QWidget* buildCompression();
    QWidget* buildInfoFile();
    QWidget* buildPassword();
    void connectControls();

    void chkInfoFile_Click();
    void chkZIPPassword_Click();
    void radMultipleZIPs_Click();
    void radOneZIP_Click();
    void sliCompression_Scroll();
    void cmdInfoFile_Click();

    QRadioButton* radMultipleZIPs = nullptr;
    QCheckBox* chkUseOriginalExtensions = nullptr;
    QComboBox* cmbFileCase = nullptr;
    QRadioButton* radOneZIP = nullptr;
    QCheckBox* chkDeleteFiles = nullptr;
    QCheckBox* chkUseZIPPaths = nullptr;
    QCheckBox* chkSaveZIPsinSameFolder = nullptr;
    QCheckBox* chkTorrentZip = nullptr;
    QSlider* sliCompression = nullptr;
    QLabel* lblCompression = nullptr;
    QCheckBox* chkInfoFile = nullptr;
    QLineEdit* txtInfoFile = nullptr;
    QToolButton* cmdInfoFile = nullptr;
    QCheckBox* chkZIPPassword = nullptr;
    QLineEdit* txtZIPPassword = nullptr;
};

} // namespace kelmar
