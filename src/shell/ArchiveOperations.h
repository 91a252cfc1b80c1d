#pragma once

class frmKelmar;

// Registers the archive batches (zip, unzip, test, rezip, ...) with the window. Each batch
// makes its own archive component, so nothing one batch set on it carries over to the next.
void registerArchiveOperations(frmKelmar& window);
