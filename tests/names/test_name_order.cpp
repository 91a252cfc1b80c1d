// SPDX-License-Identifier: GPL-3.0-or-later
// The file list's name orders: each row a pair of names and which comes first, named after
// the mistake it would catch.
#include "names/NameOrder.h"

#include <gtest/gtest.h>

using namespace kelmar;

TEST(NameOrder, EachPairComesInTheOrderAUserExpects)
{
    const struct
    {
        const char* why;
        const char16_t* first;
        const char16_t* second;
        NameOrder order;
    } rows[] = {
        {"numbers by value", u"Game (Rev 2).zip", u"Game (Rev 10).zip", NameOrder::Natural},
        {"plain keeps the old order", u"Game (Rev 10).zip", u"Game (Rev 2).zip", NameOrder::Plain},
        {"case does not count", u"alpha 3.zip", u"ALPHA 20.zip", NameOrder::Natural},
        {"a number longer than 64 bits", u"x 99999999999999999999.zip",
         u"x 100000000000000000000.zip", NameOrder::Natural},
        {"leading zeros spell the same number; then as the plain order has them",
         u"Disc 02.zip", u"Disc 2.zip", NameOrder::Natural},
        {"leading zeros do not make a number larger", u"Disc 002.zip", u"Disc 3.zip",
         NameOrder::Natural},
        {"a name that begins another comes first", u"Pac 1", u"Pac 1b", NameOrder::Natural},
        {"digits against letters as in the plain order", u"1942.zip", u"Asteroids.zip",
         NameOrder::Natural},
        {"several numbers, the first that differs decides", u"v1.9.2.zip", u"v1.10.1.zip",
         NameOrder::Natural},
        {"ties broken exactly", u"Game.ZIP", u"Game.zip", NameOrder::Natural},
        {"other scripts' digits count as letters", u"Game \u0661\u0660.zip",
         u"Game \u0662.zip", NameOrder::Natural},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const QString a = QString::fromUtf16(row.first);
        const QString b = QString::fromUtf16(row.second);
        EXPECT_LT(compareNames(a, b, row.order), 0);
        EXPECT_GT(compareNames(b, a, row.order), 0);
        EXPECT_EQ(compareNames(a, a, row.order), 0);
        QStringList names{b, a};
        sortFileNames(names, row.order);
        EXPECT_EQ(names, (QStringList{a, b}));
    }
}
