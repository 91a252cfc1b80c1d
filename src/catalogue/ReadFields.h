// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogue/Catalogue.h"

#include <QByteArray>

namespace kelmar::catalogue {

// What both readers make of a dump's status ("nodump", "baddump", ...; anything else: good).
DumpStatus dumpStatusOf(const QByteArray& text);
// A CRC-32 of 1 to 8 hex digits, either case (some catalogues drop leading zeros).
bool parseCrc(const char* text, int length, quint32* crc);

} // namespace kelmar::catalogue
