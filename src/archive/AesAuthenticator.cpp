#include "archive/AesAuthenticator.h"

#include <QCryptographicHash>

namespace kelmar {

namespace {

// PBKDF2 with HMAC-SHA1, as WinZip derives its keys (1000 iterations).
QByteArray pbkdf2Sha1(const QByteArray& password, const QByteArray& salt, int length)
{
    QByteArray out;
    for (quint32 block = 1; out.size() < length; ++block) {
        QByteArray counter(4, 0);
        counter[0] = char(block >> 24);
        counter[1] = char(block >> 16);
        counter[2] = char(block >> 8);
        counter[3] = char(block);
        QByteArray u = QMessageAuthenticationCode::hash(salt + counter, password,
                                                        QCryptographicHash::Sha1);
        QByteArray t = u;
        for (int i = 1; i < 1000; ++i) {
            u = QMessageAuthenticationCode::hash(u, password, QCryptographicHash::Sha1);
            for (int j = 0; j < t.size(); ++j)
                t[j] = char(t[j] ^ u[j]);
        }
        out += t;
    }
    return out.left(length);
}

} // namespace

AesAuthenticator::AesAuthenticator(const QByteArray& password, int keyBits)
    : m_password(password), m_keyBits(keyBits), m_mac(QCryptographicHash::Sha1)
{
}

void AesAuthenticator::start()
{
    const int keyLength = m_keyBits / 8;
    const QByteArray keys =
        pbkdf2Sha1(m_password, m_header.left(saltLength()), 2 * keyLength + kVerifierLength);
    m_mac.setKey(keys.mid(keyLength, keyLength));
    m_wrongPassword = keys.right(kVerifierLength) != m_header.mid(saltLength(), kVerifierLength);
    m_started = true;
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
        m_mac.addData(m_tail);
        m_mac.addData(data, length - kMacLength);
        m_tail = QByteArray(data + length - kMacLength, kMacLength);
    } else {
        m_tail.append(data, length);
        const qsizetype extra = m_tail.size() - kMacLength;
        if (extra > 0) {
            m_mac.addData(m_tail.constData(), extra);
            m_tail.remove(0, extra);
        }
    }
}

AesAuthenticator::Verdict AesAuthenticator::finish()
{
    if (!m_started || m_tail.size() < kMacLength)
        return Verdict::Truncated;
    if (m_wrongPassword)
        return Verdict::WrongPassword;
    return m_mac.result().left(kMacLength) == m_tail ? Verdict::Good : Verdict::Damaged;
}

} // namespace kelmar
