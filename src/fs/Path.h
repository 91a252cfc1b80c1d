// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// Paths as the file system takes them. The separator is the platform's ("/"); file names are
// bytes, which need not be UTF-8, so every call into the system goes through nativeName().
namespace kelmar::fs {

// folder with one separator at its end, as names are joined to it.
QString withSeparator(const QString& folder);

// The last component of a path: what follows its last "/" (all of it when there is none).
QString fileNameOf(const QString& path);

// The system's words for an errno value, for a log line.
QString systemError(int code);

} // namespace kelmar::fs
