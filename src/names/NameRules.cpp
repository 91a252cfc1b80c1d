// SPDX-License-Identifier: GPL-3.0-or-later
#include "names/NameRules.h"

#include "names/basMain.h"

#include <QChar>

namespace kelmar::NameRules {

namespace {

char32_t upper(char32_t c)
{
    return QChar::toUpper(c);
}

char32_t lower(char32_t c)
{
    return QChar::toLower(c);
}

// Maps every code point of name through map; a character outside the basic plane is one code
// point, never two halves mapped apart.
template <typename Map> QString mapEach(const QString& name, Map map)
{
    QString out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t c = name.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() &&
            QChar::isLowSurrogate(name.at(i + 1).unicode())) {
            c = QChar::surrogateToUcs4(name.at(i), name.at(i + 1));
            ++i;
        }
        const char32_t mapped = map(c);
        if (QChar::requiresSurrogates(mapped)) {
            out.append(QChar(QChar::highSurrogate(mapped)));
            out.append(QChar(QChar::lowSurrogate(mapped)));
        } else {
            out.append(QChar(char16_t(mapped)));
        }
    }
    return out;
}

// The code point starting at position i, upper-cased in place (both halves of a pair).
void upperAt(QString& name, qsizetype i)
{
    qsizetype length = 1;
    if (name.at(i).isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
        length = 2;
    name.replace(i, length, mapEach(name.mid(i, length), upper));
}

} // namespace

QString lowerCase(const QString& name)
{
    return mapEach(name, lower);
}

QString upperCase(const QString& name)
{
    return mapEach(name, upper);
}

QString capitalCase(const QString& name)
{
    QString out = lowerCase(name);
    if (out.size() < 2)
        return upperCase(out);
    upperAt(out, 0);
    for (qsizetype i = 0; i + 1 < out.size(); ++i) {
        const QChar c = out.at(i);
        if (c == u'_' || c == u' ' || c == u'(')
            upperAt(out, i + 1);
    }
    return out;
}

QString insertSpaces(const QString& name)
{
    QString out = name;
    // Each pass inserts at most one space and starts again, so every capital and every "-"
    // gets its space even after an earlier insertion moved it.
    for (;;) {
        const qsizetype baseLength = out.size() - basMain::GetExtension(out).size();
        qsizetype at = -1;
        for (qsizetype j = 1; j < baseLength; ++j) {
            const QChar c = out.at(j);
            if (((c >= u'A' && c <= u'Z') || c == u'-') && out.at(j - 1) != u' ') {
                at = j;
                break;
            }
        }
        if (at < 0)
            return out;
        out.insert(at, u' ');
    }
}

QString removeSpaces(const QString& name)
{
    QString out = name;
    out.remove(u' ');
    return out;
}

QString findAndReplace(const QString& name, const QString& find, const QString& replace)
{
    if (find.isEmpty())
        return name;
    QString out = name;
    out.replace(find, replace, Qt::CaseSensitive);
    return out;
}

} // namespace kelmar::NameRules
