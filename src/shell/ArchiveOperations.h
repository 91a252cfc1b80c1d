// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "maintenance/BatchSummary.h"
#include "settings/Options.h"

#include <QString>

#include <optional>

class frmKelmar;

// Registers the archive batches (zip, unzip, test, rezip, ...) with the window. Each batch
// makes its own archive component, so nothing one batch set on it carries over to the next.
void registerArchiveOperations(frmKelmar& window);

// What the closing line of the window's batch operationName says, with the options it ran
// with; nothing for an operation without one.
std::optional<kelmar::SummaryOf> summaryOfOperation(const QString& operationName,
                                                    const kelmar::Options& options);
