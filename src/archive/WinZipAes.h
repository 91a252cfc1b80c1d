// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace kelmar {

// WinZip AES in one pass over an entry's raw data held in memory: salt, two verifier bytes,
// the encrypted data, then ten bytes of HMAC-SHA1 over the encrypted data.
//
// The keys are derived once (PBKDF2-HMAC-SHA1, 1000 iterations: encryption key, HMAC key and
// verifier), the verifier and the authentication code are checked, and the data is decrypted
// in place with AES in WinZip's counter mode (a little-endian counter from 1, each counter
// block encrypted and XORed with the data).
namespace winzip_aes {

constexpr int kVerifierLength = 2;
constexpr int kMacLength = 10;

// The salt's length for keyBits 128, 192 or 256.
constexpr int saltLength(int keyBits)
{
    return keyBits / 16;
}

// Everything around the encrypted data.
constexpr int overhead(int keyBits)
{
    return saltLength(keyBits) + kVerifierLength + kMacLength;
}

// The encryption key, the HMAC key and the verifier, derived from password and salt into
// keys (2 * keyBits / 8 + kVerifierLength bytes). False when libcrypto failed.
bool deriveKeys(const QByteArray& password, const unsigned char* salt, int keyBits,
                unsigned char* keys);

// Checks and decrypts raw (rawLength bytes, as the archive holds them). True only when the
// password's verifier matches and the authentication code is right; the plain bytes are then
// at raw + saltLength(keyBits) + kVerifierLength, rawLength - overhead(keyBits) of them.
// False says nothing about why (wrong password, damage, a failure of libcrypto); raw may
// then be partly decrypted.
bool openInPlace(const QByteArray& password, int keyBits, unsigned char* raw, qint64 rawLength);

} // namespace winzip_aes

} // namespace kelmar
