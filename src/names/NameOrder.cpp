// SPDX-License-Identifier: GPL-3.0-or-later
#include "names/NameOrder.h"

#include <algorithm>

namespace kelmar {

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The end of the run of digits (or of other characters) that starts at from.
qsizetype runEnd(const QString& s, qsizetype from)
{
    const bool digits = isAsciiDigit(s[from]);
    qsizetype end = from;
    while (end < s.size() && isAsciiDigit(s[end]) == digits)
        ++end;
    return end;
}

// Two runs of digits by the numbers they spell, however long: leading zeros aside, the
// longer is the larger, and equally long ones compare digit by digit.
int compareNumbers(QStringView a, QStringView b)
{
    auto significant = [](QStringView s) {
        qsizetype zeros = 0;
        while (zeros < s.size() - 1 && s[zeros] == u'0')
            ++zeros;
        return s.mid(zeros);
    };
    const QStringView x = significant(a);
    const QStringView y = significant(b);
    if (x.size() != y.size())
        return x.size() < y.size() ? -1 : 1;
    return x.compare(y);
}

int compareNatural(const QString& a, const QString& b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        const qsizetype ei = runEnd(a, i);
        const qsizetype ej = runEnd(b, j);
        const QStringView ra = QStringView(a).mid(i, ei - i);
        const QStringView rb = QStringView(b).mid(j, ej - j);
        int c = 0;
        if (isAsciiDigit(a[i]) && isAsciiDigit(b[j]))
            c = compareNumbers(ra, rb);
        else
            c = ra.compare(rb, Qt::CaseInsensitive);
        if (c != 0)
            return c;
        i = ei;
        j = ej;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    // Equal but for case or leading zeros ("Rev 02", "Rev 2"): as the plain order has them.
    return a.compare(b, Qt::CaseInsensitive);
}

} // namespace

int compareNames(const QString& a, const QString& b, NameOrder order)
{
    const int c = order == NameOrder::Natural ? compareNatural(a, b)
                                              : a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c : a.compare(b);
}

void sortFileNames(QStringList& names, NameOrder order)
{
    std::sort(names.begin(), names.end(), [order](const QString& a, const QString& b) {
        return compareNames(a, b, order) < 0;
    });
}

} // namespace kelmar
