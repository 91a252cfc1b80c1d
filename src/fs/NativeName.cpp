// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs/NativeName.h"

namespace kelmar::fs {

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // + the byte, 0x80..0xFF

// An escaped byte is a low surrogate of that range standing alone; the same unit after a
// high surrogate is half of an ordinary character beyond U+FFFF.
bool isEscapeAt(const QString& name, qsizetype i)
{
    const char16_t c = name.at(i).unicode();
    return c >= 0xDC80 && c <= 0xDCFF && !(i > 0 && name.at(i - 1).isHighSurrogate());
}

// The length of the valid UTF-8 sequence at p (end excluded), or 0 when there is none:
// overlong forms, encoded surrogates and values past U+10FFFF are not valid.
int sequenceLength(const unsigned char* p, const unsigned char* end, char32_t* value)
{
    const unsigned char b = p[0];
    int length;
    char32_t v;
    char32_t min;
    if (b < 0x80) {
        *value = b;
        return 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        v = b & 0x1F;
        min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        v = b & 0x0F;
        min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        v = b & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (end - p < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        v = (v << 6) | (p[i] & 0x3F);
    }
    if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF))
        return 0;
    *value = v;
    return length;
}

} // namespace

QString nameFromNative(const char* bytes, qsizetype size)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    const auto* end = p + size;
    QString name;
    name.reserve(size);
    while (p < end) {
        char32_t value = 0;
        const int length = sequenceLength(p, end, &value);
        if (length == 0) {
            name.append(QChar(char16_t(kEscapeBase + *p)));
            ++p;
            continue;
        }
        if (value < 0x10000) {
            name.append(QChar(char16_t(value)));
        } else {
            name.append(QChar(QChar::highSurrogate(value)));
            name.append(QChar(QChar::lowSurrogate(value)));
        }
        p += length;
    }
    return name;
}

QString nameFromNative(const QByteArray& bytes)
{
    return nameFromNative(bytes.constData(), bytes.size());
}

QByteArray nativeName(const QString& name)
{
    if (!hasForeignBytes(name))
        return name.toUtf8();
    QByteArray bytes;
    bytes.reserve(name.size() * 3);
    qsizetype start = 0;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !isEscapeAt(name, i))
            continue;
        // A run of ordinary text, then the escaped byte.
        bytes.append(QStringView(name).mid(start, i - start).toUtf8());
        if (i < name.size())
            bytes.append(char(name.at(i).unicode() - kEscapeBase));
        start = i + 1;
    }
    return bytes;
}

QString displayName(const QString& name)
{
    if (!hasForeignBytes(name))
        return name;
    QString shown = name;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isEscapeAt(name, i))
            shown[i] = QChar(QChar::ReplacementCharacter);
    }
    return shown;
}

QString printableName(const QString& name)
{
    QString shown;
    shown.reserve(name.size());
    for (const QChar c : displayName(name)) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar(u'0'));
        else
            shown += c;
    }
    return shown;
}

QString foldedName(const QString& name)
{
    QString folded;
    folded.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t c = name.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(name.at(i), name.at(i + 1));
            ++i;
        }
        const char32_t f = QChar::toCaseFolded(c);
        if (QChar::requiresSurrogates(f)) {
            folded.append(QChar(QChar::highSurrogate(f)));
            folded.append(QChar(QChar::lowSurrogate(f)));
        } else {
            folded.append(QChar(char16_t(f)));
        }
    }
    return folded;
}

bool hasForeignBytes(const QString& name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isEscapeAt(name, i))
            return true;
    }
    return false;
}

} // namespace kelmar::fs
