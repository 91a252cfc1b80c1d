// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/Widgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

namespace kelmar::widgets {

QGroupBox* frame(const char* name, const QString& caption)
{
    return named(new QGroupBox(caption), name);
}

QCheckBox* checkBox(const char* name, const QString& caption, bool checked)
{
    auto* box = named(new QCheckBox(caption), name);
    box->setChecked(checked);
    box->setAccessibleName(accessibleCaption(caption));
    return box;
}

QString accessibleCaption(const QString& caption)
{
    QString text;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        // "&&" is a shown ampersand; a single "&" marks the next letter as the mnemonic.
        if (caption[i] == u'&' && i + 1 < caption.size())
            ++i;
        text += caption[i];
    }
    return text.trimmed();
}

void makeTabPanel(QWidget* panel, int index, QBoxLayout* content)
{
    auto* fra = new QWidget;
    fra->setObjectName(QStringLiteral("fraControl_%1").arg(index));
    auto* outer = new QVBoxLayout(panel);
    outer->setContentsMargins(3, 3, 3, 3);
    outer->addWidget(fra);
    content->setContentsMargins(0, 0, 0, 0);
    fra->setLayout(content);
}

Check checkValue(const QCheckBox* box)
{
    switch (box->checkState()) {
    case Qt::Checked:
        return Check::Ticked;
    case Qt::PartiallyChecked:
        return Check::Greyed;
    default:
        return Check::Clear;
    }
}

void setCheckValue(QCheckBox* box, Check value)
{
    if (value == Check::Greyed) {
        box->setTristate(true);
        box->setCheckState(Qt::PartiallyChecked);
    } else {
        box->setCheckState(value == Check::Ticked ? Qt::Checked : Qt::Unchecked);
    }
}

void setDependentBox(QLineEdit* box, bool enabled)
{
    box->setEnabled(enabled);
    QPalette palette = box->palette();
    const QColor colour =
        QApplication::palette().color(enabled ? QPalette::Base : QPalette::Button);
    palette.setColor(QPalette::Base, colour);
    palette.setColor(QPalette::Disabled, QPalette::Base, colour);
    box->setPalette(palette);
}

QStringList caseItems()
{
    return {QStringLiteral("Use Lower Case"), QStringLiteral("Use Upper Case"),
            QStringLiteral("Use Original Case")};
}

} // namespace kelmar::widgets
