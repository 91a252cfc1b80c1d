// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/Options.h"

#include <QString>

#include <memory>

class QSettings;

namespace kelmar {

// Reading and writing the options of the settings tabs in the per-user settings store.
//
// Sections "zip settings", "unzip settings" and "other settings"; each key is the name of
// its control ("chkZipsToFolders" for chkZIPsToFolders). Radio buttons are stored as "True" or
// "False", check boxes, combos and the slider as decimal integers, texts as typed. A value
// that is missing, does not convert or is out of range (slider 0-9, combos 0-2, check boxes
// 0-2) reads as the key's default. The ZIP password text is never stored.
namespace SettingsStore {

Options loadOptions(QSettings& settings);
void saveOptions(QSettings& settings, const Options& options);

// The user's store: an INI file, QSettings(IniFormat, UserScope, "kelmar", "kelmar"), which on
// Linux is ~/.config/kelmar/kelmar.ini ($XDG_CONFIG_HOME when set).
std::unique_ptr<QSettings> openUserSettings();

// A store in the INI file at path (for --settings and the tests).
std::unique_ptr<QSettings> openSettingsFile(const QString& path);

// The store holds the unzip password in clear: makes its file (created if need be) readable
// and writable by its owner only.
void keepPrivate(const QSettings& settings);

} // namespace SettingsStore
} // namespace kelmar
