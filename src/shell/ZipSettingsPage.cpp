// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/ZipSettingsPage.h"

#include "shell/Dialogs.h"
#include "shell/Widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace kelmar {

using namespace widgets;

ZipSettingsPage::ZipSettingsPage(QWidget* parent) : QWidget(parent)
{
    auto* columns = new QHBoxLayout;
    makeTabPanel(this, 1, columns);
    columns->addWidget(buildRules(), 1);
    auto* rightColumn = new QVBoxLayout;
    rightColumn->addWidget(buildCompression());
    rightColumn->addWidget(buildInfoFile());
    rightColumn->addWidget(buildPassword());
    rightColumn->addStretch(1);
    columns->addLayout(rightColumn, 1);

    setDependentBox(txtInfoFile, false);
    cmdInfoFile->setEnabled(false);
    setDependentBox(txtZIPPassword, false);
    connectControls();
}

QWidget* ZipSettingsPage::buildRules()
{
    auto* rules = frame("fraZIPRules", QStringLiteral("Rules"));
    auto* r = new QGridLayout(rules);
    r->setVerticalSpacing(2);
    r->setColumnMinimumWidth(0, 18);
    radMultipleZIPs =
        named(new QRadioButton(QStringLiteral("ZIP to Individual Files")), "radMultipleZIPs");
    radMultipleZIPs->setChecked(true);
    chkUseOriginalExtensions =
        checkBox("chkUseOriginalExtensions", QStringLiteral("Use Original Extensions"));
    cmbFileCase = named(new QComboBox, "cmbFileCase");
    cmbFileCase->addItems(caseItems());
    radOneZIP = named(new QRadioButton(QStringLiteral("ZIP to Single File")), "radOneZIP");
    chkDeleteFiles = checkBox("chkDeleteFiles", QStringLiteral("Delete Original Files"));
    chkUseZIPPaths = checkBox("chkUseZIPPaths", QStringLiteral("Store Path Information"));
    chkSaveZIPsinSameFolder =
        checkBox("chkSaveZIPsinSameFolder", QStringLiteral("Save ZIPs in Same Folder"));
    r->addWidget(radMultipleZIPs, 0, 0, 1, 2);
    r->addWidget(chkUseOriginalExtensions, 1, 1);
    r->addWidget(cmbFileCase, 2, 1);
    r->addWidget(radOneZIP, 3, 0, 1, 2);
    r->addWidget(chkDeleteFiles, 4, 0, 1, 2);
    r->addWidget(chkUseZIPPaths, 5, 0, 1, 2);
    r->addWidget(chkSaveZIPsinSameFolder, 6, 0, 1, 2);
    chkTorrentZip = checkBox("chkTorrentZip", QStringLiteral("TorrentZip"));
    chkTorrentZip->setToolTip(QStringLiteral(
        "ReZip and ZIP Files write the TorrentZip layout: the same files always give the same "
        "archive"));
    r->addWidget(chkTorrentZip, 7, 0, 1, 2);
    r->setRowStretch(8, 1);
    return rules;
}

QWidget* ZipSettingsPage::buildCompression()
{
    auto* compression = frame("fraCompression", QStringLiteral("Compression Level"));
    auto* c = new QHBoxLayout(compression);
    sliCompression = named(new QSlider(Qt::Horizontal), "sliCompression");
    sliCompression->setRange(0, 9);
    sliCompression->setValue(6);
    sliCompression->setPageStep(1);
    sliCompression->setTickPosition(QSlider::TicksBelow);
    sliCompression->setTickInterval(1);
    sliCompression->setToolTip(QStringLiteral("Worst/Fastest to Best/Slowest"));
    lblCompression = named(new QLabel(QStringLiteral("6")), "lblCompression");
    lblCompression->setMinimumWidth(lblCompression->fontMetrics().horizontalAdvance(u'0') * 2);
    c->addWidget(sliCompression, 1);
    c->addWidget(lblCompression);
    return compression;
}

QWidget* ZipSettingsPage::buildInfoFile()
{
    auto* info = frame("fraInfoFile", QStringLiteral("Info File"));
    auto* i = new QHBoxLayout(info);
    chkInfoFile = checkBox("chkInfoFile", QString());
    chkInfoFile->setToolTip(QStringLiteral("Add an info file to every new archive"));
    // No caption of its own: the frame's names it for a screen reader.
    chkInfoFile->setAccessibleName(QStringLiteral("Info File"));
    txtInfoFile = named(new QLineEdit, "txtInfoFile");
    cmdInfoFile = named(new QToolButton, "cmdInfoFile");
    cmdInfoFile->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    cmdInfoFile->setToolTip(QStringLiteral("Select the Info File"));
    i->addWidget(chkInfoFile);
    i->addWidget(txtInfoFile, 1);
    i->addWidget(cmdInfoFile);
    return info;
}

QWidget* ZipSettingsPage::buildPassword()
{
    auto* password = frame("fraZIPPassword", QStringLiteral("Password Protection"));
    auto* p = new QHBoxLayout(password);
    chkZIPPassword = checkBox("chkZIPPassword", QString());
    chkZIPPassword->setToolTip(QStringLiteral("Encrypt new archives with this password"));
    chkZIPPassword->setAccessibleName(QStringLiteral("ZIP Password Protection"));
    txtZIPPassword = named(new QLineEdit, "txtZIPPassword");
    p->addWidget(chkZIPPassword);
    p->addWidget(txtZIPPassword, 1);
    return password;
}

void ZipSettingsPage::connectControls()
{
    connect(chkInfoFile, &QCheckBox::stateChanged, this, &ZipSettingsPage::chkInfoFile_Click);
    connect(chkZIPPassword, &QCheckBox::stateChanged, this, &ZipSettingsPage::chkZIPPassword_Click);
    connect(radMultipleZIPs, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            radMultipleZIPs_Click();
    });
    connect(radOneZIP, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            radOneZIP_Click();
    });
    connect(sliCompression, &QSlider::valueChanged, this, &ZipSettingsPage::sliCompression_Scroll);
    connect(cmdInfoFile, &QToolButton::clicked, this, &ZipSettingsPage::cmdInfoFile_Click);
}

void ZipSettingsPage::load(const Options& o)
{
    // Radio buttons in reading order: selecting one clears the other, so the one read last
    // wins when both were stored as selected.
    if (o.radMultipleZIPs)
        radMultipleZIPs->setChecked(true);
    setCheckValue(chkUseOriginalExtensions, o.chkUseOriginalExtensions);
    cmbFileCase->setCurrentIndex(o.cmbFileCase);
    if (o.radOneZIP)
        radOneZIP->setChecked(true);
    setCheckValue(chkDeleteFiles, o.chkDeleteFiles);
    setCheckValue(chkUseZIPPaths, o.chkUseZIPPaths);
    setCheckValue(chkSaveZIPsinSameFolder, o.chkSaveZIPsinSameFolder);
    setCheckValue(chkTorrentZip, o.chkTorrentZip);
    sliCompression->setValue(o.sliCompression);
    lblCompression->setText(QString::number(sliCompression->value()));
    setCheckValue(chkInfoFile, o.chkInfoFile);
    txtInfoFile->setText(o.txtInfoFile);
    setCheckValue(chkZIPPassword, o.chkZIPPassword);
    txtZIPPassword->setText(o.txtZIPPassword);
}

void ZipSettingsPage::save(Options& o) const
{
    o.radMultipleZIPs = radMultipleZIPs->isChecked();
    o.chkUseOriginalExtensions = checkValue(chkUseOriginalExtensions);
    o.cmbFileCase = static_cast<CaseChoice>(cmbFileCase->currentIndex());
    o.radOneZIP = radOneZIP->isChecked();
    o.chkDeleteFiles = checkValue(chkDeleteFiles);
    o.chkUseZIPPaths = checkValue(chkUseZIPPaths);
    o.chkSaveZIPsinSameFolder = checkValue(chkSaveZIPsinSameFolder);
    o.chkTorrentZip = checkValue(chkTorrentZip);
    o.sliCompression = sliCompression->value();
    o.chkInfoFile = checkValue(chkInfoFile);
    o.txtInfoFile = txtInfoFile->text();
    o.chkZIPPassword = checkValue(chkZIPPassword);
    o.txtZIPPassword = txtZIPPassword->text();
}

void ZipSettingsPage::chkInfoFile_Click()
{
    const bool on = Options::isSet(checkValue(chkInfoFile));
    setDependentBox(txtInfoFile, on);
    cmdInfoFile->setEnabled(on);
}

void ZipSettingsPage::chkZIPPassword_Click()
{
    setDependentBox(txtZIPPassword, Options::isSet(checkValue(chkZIPPassword)));
}

void ZipSettingsPage::radMultipleZIPs_Click()
{
    chkUseOriginalExtensions->setEnabled(true);
    cmbFileCase->setEnabled(true);
}

void ZipSettingsPage::radOneZIP_Click()
{
    chkUseOriginalExtensions->setEnabled(false);
    cmbFileCase->setEnabled(false);
}

void ZipSettingsPage::sliCompression_Scroll()
{
    lblCompression->setText(QString::number(sliCompression->value()));
}

void ZipSettingsPage::cmdInfoFile_Click()
{
    const std::optional<QString> chosen = Dialogs::openFileName(
        this, QStringLiteral("Select the Info File"),
        QStringLiteral("Info Files (*.nfo)|*.nfo|Text Files (*.txt)|*.txt|All Files|*.*"),
        txtInfoFile->text());
    if (chosen)
        txtInfoFile->setText(QDir::toNativeSeparators(QFileInfo(*chosen).absoluteFilePath()));
}

} // namespace kelmar
