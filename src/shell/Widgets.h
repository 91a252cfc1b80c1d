// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/Options.h"

#include <QString>
#include <QStringList>

class QBoxLayout;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QWidget;

// Small helpers the window's pages share to build their controls the same way.
namespace kelmar::widgets {

template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QGroupBox* frame(const char* name, const QString& caption);
// A check box named name, its caption also its accessible name.
QCheckBox* checkBox(const char* name, const QString& caption, bool checked = false);
// A caption as a screen reader says it: without its mnemonic marks.
QString accessibleCaption(const QString& caption);

// Makes panel a tab's panel holding its frame fraControl_<index>, laid out by content.
void makeTabPanel(QWidget* panel, int index, QBoxLayout* content);

// A check box's state as the options hold it: clear, ticked, or greyed (partly checked).
Check checkValue(const QCheckBox* box);
void setCheckValue(QCheckBox* box, Check value);

// A text box that follows its check box: greyed background when off, white when on.
void setDependentBox(QLineEdit* box, bool enabled);

// The three ways of writing a name's case, as both case combos offer them.
QStringList caseItems();

} // namespace kelmar::widgets
