// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/Options.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace kelmar {

// The "Other Settings" tab: the ROM filter editor and the general options. It loads and
// saves its own part of the options.
class OtherSettingsPage : public QWidget
{
    Q_OBJECT
public:
    explicit OtherSettingsPage(QWidget* parent = nullptr);

    void load(const Options& options);
    void save(Options& options) const;
    // The ROM filter as the list names it ("*.nes;*.smc").
    QString romFilter() const;

signals:
    // The list of ROM extensions changed; pattern is the new filter.
    void romFilterChanged(const QString& pattern);
    // How the file list looks: the details view, names in natural order.
    void listLookChanged(bool details, bool naturalOrder);

private:
    void update_ROM_Filter();
    void update_lstROMFilter();
    void update_ROM_Filter_Buttons();
    void txtROMFilter_Change();
    void cmdAddROMFilter_Click();
    void cmdRemoveROMFilter_Click();

    QCheckBox* chkSound = nullptr;
    QCheckBox* chkCheckTorrentZip = nullptr;
    QCheckBox* chkDetailsView = nullptr;
    QCheckBox* chkNaturalOrder = nullptr;
    QCheckBox* chkTestOnly = nullptr;
    QLineEdit* txtROMFilter = nullptr;
    QPushButton* cmdAddROMFilter = nullptr;
    QPushButton* cmdRemoveROMFilter = nullptr;
    QListWidget* lstROMFilter = nullptr;
    QLabel* lblROMFilter = nullptr;
};

} // namespace kelmar
