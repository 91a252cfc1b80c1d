// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/AesAuthenticator.h"

#include "archive/WinZipAes.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

namespace kelmar {

void AesAuthenticator::MacFree::operator()(EVP_MAC_CTX* mac) const
{
    EVP_MAC_CTX_free(mac);
}

AesAuthenticator::AesAuthenticator(const QByteArray& password, int keyBits)
    : m_password(password), m_keyBits(keyBits)
{
}

AesAuthenticator::~AesAuthenticator() = default;

void AesAuthenticator::start()
{
    m_started = true;
    const int keyLength = m_keyBits / 8;
    // Encryption key, authentication key, password verifier.
    QByteArray keys(2 * keyLength + kVerifierLength, '\0');
    if (!winzip_aes::deriveKeys(m_password,
                                reinterpret_cast<const unsigned char*>(m_header.constData()),
                                m_keyBits, reinterpret_cast<unsigned char*>(keys.data()))) {
        m_failed = true;
        return;
    }
    m_wrongPassword = keys.right(kVerifierLength) != m_header.mid(saltLength(), kVerifierLength);

    EVP_MAC* hmac = EVP_MAC_fetch(nullptr, OSSL_MAC_NAME_HMAC, nullptr);
    m_mac.reset(hmac ? EVP_MAC_CTX_new(hmac) : nullptr);
    EVP_MAC_free(hmac); // the context keeps its own reference
    char digest[] = OSSL_DIGEST_NAME_SHA1;
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
        OSSL_PARAM_construct_end(),
    };
    if (!m_mac || EVP_MAC_init(m_mac.get(),
                               reinterpret_cast<const unsigned char*>(keys.constData()) + keyLength,
                               size_t(keyLength), params) != 1)
        m_failed = true;
}

void AesAuthenticator::authenticate(const char* data, qint64 length)
{
    if (m_failed || length <= 0)
        return;
    if (EVP_MAC_update(m_mac.get(), reinterpret_cast<const unsigned char*>(data), size_t(length)) !=
        1)
        m_failed = true;
}

void AesAuthenticator::addData(const char* data, qint64 length)
{
    const int headerLength = saltLength() + kVerifierLength;
    while (!m_started && length > 0) {
        m_header.append(*data++);
        --length;
        if (m_header.size() == headerLength)
            start();
    }
    if (length <= 0)
        return;
    // Everything but the last kMacLength bytes is authenticated data.
    if (length >= kMacLength) {
        authenticate(m_tail.constData(), m_tail.size());
        authenticate(data, length - kMacLength);
        m_tail = QByteArray(data + length - kMacLength, kMacLength);
    } else {
        m_tail.append(data, length);
        const qsizetype extra = m_tail.size() - kMacLength;
        if (extra > 0) {
            authenticate(m_tail.constData(), extra);
            m_tail.remove(0, extra);
        }
    }
}

AesAuthenticator::Verdict AesAuthenticator::finish()
{
    if (!m_started || m_tail.size() < kMacLength)
        return Verdict::Truncated;
    if (m_failed)
        return Verdict::Failed;
    if (m_wrongPassword)
        return Verdict::WrongPassword;
    unsigned char mac[EVP_MAX_MD_SIZE];
    size_t macLength = 0;
    if (EVP_MAC_final(m_mac.get(), mac, &macLength, sizeof mac) != 1 || macLength < kMacLength)
        return Verdict::Failed;
    return QByteArray::fromRawData(reinterpret_cast<const char*>(mac), kMacLength) == m_tail
               ? Verdict::Good
               : Verdict::Damaged;
}

} // namespace kelmar
