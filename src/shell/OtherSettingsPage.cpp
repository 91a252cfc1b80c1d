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
    chkTestOnly = checkBox("chkTestOnly", QStringLiteral("Test only, do not rename"));
    g->addWidget(chkTestOnly);
    g->addStretch(1);
    columns->addWidget(general, 1);
}

void OtherSettingsPage::load(const Options& o)
{
    lblROMFilter->setText(o.lblROMFilter);
    setCheckValue(chkSound, o.chkSound);
    setCheckValue(chkTestOnly, o.chkTestOnly);
    update_ROM_Filter_Buttons();
    update_lstROMFilter();
    emit romFilterChanged(lblROMFilter->text());
}

void OtherSettingsPage::save(Options& o) const
{
    o.lblROMFilter = lblROMFilter->text();
    o.chkSound = checkValue(chkSound);
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
