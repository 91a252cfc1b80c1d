// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// flushFileAndFolder and the other flushes live with the rest of safe output.
#include "fs/SafeOutput.h"
