// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>

typedef struct zip zip_t;
typedef struct zip_stat zip_stat_t;

namespace kelmar {

// The quick test of one entry: its raw bytes read in one piece, inflated by libdeflate into a
// buffer of the size the directory declares, and the CRC-32 compared. For stored or deflated
// entries no larger than BufferBudget::kEntryCap, unencrypted or, given a password, in WinZip
// AES: their keys are then derived once, the authentication code checked and the data
// decrypted in the same buffer (WinZipAes.h), and an AE-2 entry's code stands for its CRC.
//
// True only when the entry is certainly sound. False says nothing: the entry did not qualify,
// or something was wrong with it, and the ordinary reading through libzip then decides and
// words the verdict, so a damaged entry is reported exactly as before.
bool wholeEntryPasses(zip_t* archive, quint64 index, const zip_stat_t& st,
                      const QByteArray& password = QByteArray());

// The same, handing the entry's bytes to use (once, whole) when they are certainly sound.
// False when the entry did not qualify or was not sound; use was then not called. Its
// buffers are borrowed from BufferBudget unless the caller holds budget for them already
// (budgeted false): one who holds part of the budget must never wait for more.
bool withWholeEntry(zip_t* archive, quint64 index, const zip_stat_t& st,
                    const std::function<void(const char* data, qint64 size)>& use,
                    const QByteArray& password = QByteArray(), bool budgeted = true);

} // namespace kelmar
