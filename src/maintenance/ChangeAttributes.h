#pragma once

#include "maintenance/RebuildReport.h"

#include <functional>

namespace kelmar {

class BatchHost;
class ZipComponent;

// The DOS attribute bits the dialog offers.
enum AttributeBits { AttrReadOnly = 1, AttrHidden = 2, AttrArchive = 32 };

// "Change Zipped Files' Attributes": asks chooseAttributes (the dialog; -1 when cancelled,
// else the sum of the chosen bits) and gives every entry of each selected archive those
// attributes, stored in the archive: the DOS bits in the low byte of its external
// attributes and, where the entry carries a Unix mode, no write permission when read-only.
// Each archive is rebuilt as Rezip rebuilds it (folder names dropped, at the slider's level,
// read with the unzip password, written without one) and replaced only once the new copy
// has been read back; one that cannot be rebuilt is logged ("Error changing attributes in
// PATH", the reason on the next line) and stays as it was. Status panel 1 shows "Updating
// Attributes: NAME (k of n)". Stop ends the batch after the archive in hand.
RebuildReport change_attributes(
    BatchHost& host, ZipComponent& zip, const std::function<int()>& chooseAttributes,
    const std::function<void(int number, int total, const QString& path)>& onArchive = {});

} // namespace kelmar
