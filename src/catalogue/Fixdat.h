// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/Verification.h"

#include <QByteArray>
#include <QString>

namespace kelmar::catalogue {

// A Logiqx XML catalogue of exactly what the collection lacks: every set with a missing or
// damaged ROM, with those ROMs alone (and the set's clone and parent names).
QByteArray fixdatXml(const Catalogue& catalogue, const Verification& verification);
// The number of ROMs fixdatXml lists.
int fixdatRomCount(const Catalogue& catalogue, const Verification& verification);

// Writes bytes to path through a temporary file that takes the name only if nothing bears
// it yet: an existing file is never replaced. 0 or errno (EEXIST when the name is taken).
int writeNewFile(const QString& path, const QByteArray& bytes);

} // namespace kelmar::catalogue
