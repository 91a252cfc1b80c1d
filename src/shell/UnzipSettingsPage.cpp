// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/UnzipSettingsPage.h"

#include "shell/Widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

namespace kelmar {

using namespace widgets;

UnzipSettingsPage::UnzipSettingsPage(QWidget* parent) : QWidget(parent)
{
    auto* columns = new QHBoxLayout;
    makeTabPanel(this, 2, columns);

    auto* rules = frame("fraUnzipRules", QStringLiteral("Rules"));
    auto* r = new QGridLayout(rules);
    r->setVerticalSpacing(2);
    r->setColumnMinimumWidth(0, 18);
    chkRenameFiles = checkBox("chkRenameFiles", QStringLiteral("Rename Files after ZIP"));
    cmbUnzipCase = named(new QComboBox, "cmbUnzipCase");
    cmbUnzipCase->addItems(caseItems());
    chkExtractROMs = checkBox("chkExtractROMs", QStringLiteral("Only Extract ROMs"), true);
    chkDeleteZIPFiles = checkBox("chkDeleteZIPFiles", QStringLiteral("Delete ZIP Files"));
    chkIgnoreFolders = checkBox("chkIgnoreFolders", QStringLiteral("Ignore Folders"), true);
    chkUnziptoSameFolder = checkBox("chkUnziptoSameFolder", QStringLiteral("UnZIP to Same Folder"));
    chkZIPsToFolders = checkBox("chkZIPsToFolders", QStringLiteral("Convert ZIPs to Folders"));
    r->addWidget(chkRenameFiles, 0, 0, 1, 2);
    r->addWidget(cmbUnzipCase, 1, 1);
    r->addWidget(chkExtractROMs, 2, 0, 1, 2);
    r->addWidget(chkDeleteZIPFiles, 3, 0, 1, 2);
    r->addWidget(chkIgnoreFolders, 4, 0, 1, 2);
    r->addWidget(chkUnziptoSameFolder, 5, 0, 1, 2);
    r->addWidget(chkZIPsToFolders, 6, 0, 1, 2);
    r->setRowStretch(7, 1);
    columns->addWidget(rules, 1);

    auto* rightColumn = new QVBoxLayout;
    auto* password = frame("fraUnzipPassword", QStringLiteral("Password Protection"));
    auto* p = new QHBoxLayout(password);
    chkUnzipPassword = checkBox("chkUnzipPassword", QString());
    chkUnzipPassword->setToolTip(QStringLiteral("Read encrypted archives with this password"));
    // No caption of its own: the frame's names it for a screen reader.
    chkUnzipPassword->setAccessibleName(QStringLiteral("UnZIP Password Protection"));
    txtUnzipPassword = named(new QLineEdit, "txtUnzipPassword");
    p->addWidget(chkUnzipPassword);
    p->addWidget(txtUnzipPassword, 1);
    rightColumn->addWidget(password);
    rightColumn->addStretch(1);
    columns->addLayout(rightColumn, 1);

    setDependentBox(txtUnzipPassword, false);
    connect(chkUnzipPassword, &QCheckBox::stateChanged, this, [this] {
        setDependentBox(txtUnzipPassword, Options::isSet(checkValue(chkUnzipPassword)));
    });
}

void UnzipSettingsPage::load(const Options& o)
{
    cmbUnzipCase->setCurrentIndex(o.cmbUnzipCase);
    setCheckValue(chkRenameFiles, o.chkRenameFiles);
    setCheckValue(chkExtractROMs, o.chkExtractROMs);
    setCheckValue(chkDeleteZIPFiles, o.chkDeleteZIPFiles);
    setCheckValue(chkIgnoreFolders, o.chkIgnoreFolders);
    setCheckValue(chkUnziptoSameFolder, o.chkUnziptoSameFolder);
    setCheckValue(chkUnzipPassword, o.chkUnzipPassword);
    txtUnzipPassword->setText(o.txtUnzipPassword);
    setCheckValue(chkZIPsToFolders, o.chkZIPsToFolders);
}

void UnzipSettingsPage::save(Options& o) const
{
    o.cmbUnzipCase = static_cast<CaseChoice>(cmbUnzipCase->currentIndex());
    o.chkRenameFiles = checkValue(chkRenameFiles);
    o.chkExtractROMs = checkValue(chkExtractROMs);
    o.chkDeleteZIPFiles = checkValue(chkDeleteZIPFiles);
    o.chkIgnoreFolders = checkValue(chkIgnoreFolders);
    o.chkUnziptoSameFolder = checkValue(chkUnziptoSameFolder);
    o.chkUnzipPassword = checkValue(chkUnzipPassword);
    o.txtUnzipPassword = txtUnzipPassword->text();
    o.chkZIPsToFolders = checkValue(chkZIPsToFolders);
}

} // namespace kelmar
