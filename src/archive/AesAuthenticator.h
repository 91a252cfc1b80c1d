// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <memory>

typedef struct evp_mac_ctx_st EVP_MAC_CTX;

namespace kelmar {

// Checks the authentication code of a WinZip AES entry from its raw, still encrypted data:
// salt, two verifier bytes, the encrypted data, then ten bytes of HMAC-SHA1.
//
// libzip 1.7 cannot check AE-2 entries (no CRC stored) without also failing their CRC, so
// the component verifies those itself from the raw bytes. Key derivation and the HMAC are
// OpenSSL's (libcrypto, which libzip itself links).
class AesAuthenticator
{
public:
    // keyBits: 128, 192 or 256.
    AesAuthenticator(const QByteArray& password, int keyBits);
    ~AesAuthenticator();
    AesAuthenticator(const AesAuthenticator&) = delete;
    AesAuthenticator& operator=(const AesAuthenticator&) = delete;

    int saltLength() const { return m_keyBits / 16; }
    static constexpr int kVerifierLength = 2;
    static constexpr int kMacLength = 10;

    // Feed the raw entry data in pieces of any size; call finish() once at the end.
    void addData(const char* data, qint64 length);
    enum class Verdict { Good, WrongPassword, Damaged, Truncated, Failed };
    Verdict finish();

private:
    struct MacFree
    {
        void operator()(EVP_MAC_CTX* mac) const;
    };

    void start();
    void authenticate(const char* data, qint64 length);

    QByteArray m_password;
    int m_keyBits;
    QByteArray m_header; // salt and verifier, as they arrive
    QByteArray m_tail;   // the last kMacLength bytes seen so far
    std::unique_ptr<EVP_MAC_CTX, MacFree> m_mac;
    bool m_started = false;
    bool m_wrongPassword = false;
    bool m_failed = false; // libcrypto itself failed: no verdict on the data
};

} // namespace kelmar
