// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/OtherSettingsPage.h"

#include "names/RomFilter.h"
#include "shell/Widgets.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace kelmar {

using namespace widgets;

OtherSettingsPage::OtherSettingsPage(QWidget* parent) : QWidget(parent)
{
    auto* columns = new QHBoxLayout;
    makeTabPanel(this, 3, columns);

    auto* romFilter = frame("fraROMFilter", QStringLiteral("ROM Filter"));
    auto* f = new QGridLayout(romFilter);
    txtROMFilter = named(new QLineEdit, "txtROMFilter");
    txtROMFilter->setMaxLength(3);
    cmdAddROMFilter = named(new QPushButton(QStringLiteral("Add")), "cmdAddROMFilter");
    cmdRemoveROMFilter = named(new QPushButton(QStringLiteral("Remove")), "cmdRemoveROMFilter");
    cmdAddROMFilter->setEnabled(false);
    cmdRemoveROMFilter->setEnabled(false);
    lstROMFilter = named(new QListWidget, "lstROMFilter");
    lblROMFilter = named(new QLabel, "lblROMFilter");
    lblROMFilter->setWordWrap(true);
    f->addWidget(txtROMFilter, 0, 0);
    f->addWidget(cmdAddROMFilter, 0, 1);
    f->addWidget(lstROMFilter, 1, 0, 2, 1);
    f->addWidget(cmdRemoveROMFilter, 1, 1, Qt::AlignTop);
    f->addWidget(lblROMFilter, 3, 0, 1, 2);
    f->setRowStretch(2, 1);
    columns->addWidget(romFilter, 1);

    connect(txtROMFilter, &QLineEdit::textChanged, this, &OtherSettingsPage::txtROMFilter_Change);
    connect(txtROMFilter, &QLineEdit::returnPressed, this, [this] {
        if (cmdAddROMFilter->isEnabled())
            cmdAddROMFilter_Click();
    });
    connect(cmdAddROMFilter, &QPushButton::clicked, this,
            &OtherSettingsPage::cmdAddROMFilter_Click);
    connect(cmdRemoveROMFilter, &QPushButton::clicked, this,
            &OtherSettingsPage::cmdRemoveROMFilter_Click);
    connect(lstROMFilter, &QListWidget::itemSelectionChanged, this,
            &OtherSettingsPage::update_ROM_Filter_Buttons);

    auto* general = frame("fraGeneral", QStringLiteral("General"));
    auto* g = new QVBoxLayout(general);
    chkSound = checkBox("chkSound", QStringLiteral("Enable Sound Events"), true);
    g->addWidget(chkSound);
    chkCheckTorrentZip = checkBox("chkCheckTorrentZip", QStringLiteral("Check TorrentZip"));
    chkCheckTorrentZip->setToolTip(
        QStringLiteral("Test Zips also logs each archive that is not TorrentZip"));
    g->addWidget(chkCheckTorrentZip);
    chkDetailsView =
        checkBox("chkDetailsView", QStringLiteral("Show File Details (Size, Date, Test Result)"));
    chkNaturalOrder =
        checkBox("chkNaturalOrder", QStringLiteral("Sort Numbers by Value (Rev 2 before Rev 10)"));
    g->addWidget(chkDetailsView);
    g->addWidget(chkNaturalOrder);
    chkTestOnly = checkBox("chkTestOnly", QStringLiteral("Test only, do not rename"));
    g->addWidget(chkTestOnly);
    g->addStretch(1);
    for (QCheckBox* box : {chkDetailsView, chkNaturalOrder}) {
        connect(box, &QCheckBox::toggled, this, [this] {
            emit listLookChanged(chkDetailsView->isChecked(), chkNaturalOrder->isChecked());
        });
    }
    columns->addWidget(general, 1);
}

void OtherSettingsPage::load(const Options& o)
{
    lblROMFilter->setText(o.lblROMFilter);
    setCheckValue(chkSound, o.chkSound);
    setCheckValue(chkCheckTorrentZip, o.chkCheckTorrentZip);
    {
        const QSignalBlocker blockDetails(chkDetailsView);
        const QSignalBlocker blockOrder(chkNaturalOrder);
        setCheckValue(chkDetailsView, o.chkDetailsView);
        setCheckValue(chkNaturalOrder, o.chkNaturalOrder);
    }
    emit listLookChanged(chkDetailsView->isChecked(), chkNaturalOrder->isChecked());
    setCheckValue(chkTestOnly, o.chkTestOnly);
    update_ROM_Filter_Buttons();
    update_lstROMFilter();
    emit romFilterChanged(lblROMFilter->text());
}

void OtherSettingsPage::save(Options& o) const
{
    o.lblROMFilter = lblROMFilter->text();
    o.chkSound = checkValue(chkSound);
    o.chkCheckTorrentZip = checkValue(chkCheckTorrentZip);
    o.chkDetailsView = checkValue(chkDetailsView);
    o.chkNaturalOrder = checkValue(chkNaturalOrder);
    o.chkTestOnly = checkValue(chkTestOnly);
}

QString OtherSettingsPage::romFilter() const
{
    return lblROMFilter->text();
}

void OtherSettingsPage::update_ROM_Filter()
{
    QStringList entries;
    for (int i = 0; i < lstROMFilter->count(); ++i)
        entries.append(lstROMFilter->item(i)->text());
    lblROMFilter->setText(RomFilter::fromEntries(entries));
    emit romFilterChanged(lblROMFilter->text());
}

void OtherSettingsPage::update_lstROMFilter()
{
    lstROMFilter->clear();
    lstROMFilter->addItems(RomFilter::toEntries(lblROMFilter->text()));
    update_ROM_Filter_Buttons();
}

void OtherSettingsPage::update_ROM_Filter_Buttons()
{
    cmdAddROMFilter->setEnabled(!txtROMFilter->text().isEmpty());
    cmdRemoveROMFilter->setEnabled(!lstROMFilter->selectedItems().isEmpty());
}

void OtherSettingsPage::txtROMFilter_Change()
{
    const QString kept = RomFilter::cleanTyped(txtROMFilter->text());
    if (kept != txtROMFilter->text()) {
        const QSignalBlocker block(txtROMFilter);
        txtROMFilter->setText(kept);
        txtROMFilter->setCursorPosition(int(kept.size()));
    }
    update_ROM_Filter_Buttons();
}

void OtherSettingsPage::cmdAddROMFilter_Click()
{
    lstROMFilter->addItem(txtROMFilter->text());
    update_ROM_Filter();
    txtROMFilter->clear();
    txtROMFilter->setFocus();
    update_ROM_Filter_Buttons();
}

void OtherSettingsPage::cmdRemoveROMFilter_Click()
{
    const int row = lstROMFilter->currentRow();
    if (row < 0 || lstROMFilter->selectedItems().isEmpty())
        return;
    delete lstROMFilter->takeItem(row);
    lstROMFilter->clearSelection();
    lstROMFilter->setCurrentRow(-1);
    update_ROM_Filter();
    update_ROM_Filter_Buttons();
}

} // namespace kelmar
