// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class frmKelmar;

// Registers the renames of the "Rename" menu with the window: the five fixed rules, the
// manual rename and find and replace.
void registerRenameOperations(frmKelmar& window);
