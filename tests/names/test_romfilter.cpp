// SPDX-License-Identifier: GPL-3.0-or-later
#include "names/RomFilter.h"

#include <gtest/gtest.h>

using namespace kelmar;

TEST(RomFilter, EntriesAndTheFilterTextRoundTrip)
{
    EXPECT_EQ(RomFilter::fromEntries({"ZIP", "NES"}), QStringLiteral("*.ZIP;*.NES"));
    EXPECT_EQ(RomFilter::fromEntries({"ZIP", "ZIP"}), QStringLiteral("*.ZIP;*.ZIP"));
    EXPECT_EQ(RomFilter::fromEntries({}), QString());
    EXPECT_EQ(RomFilter::toEntries(QStringLiteral("*.ZIP;*.NES")), QStringList({"ZIP", "NES"}));
    // Stored texts are taken as they are: case kept, dots dropped, empty entries kept.
    EXPECT_EQ(RomFilter::toEntries(QStringLiteral("*.zip")), QStringList({"zip"}));
    EXPECT_EQ(RomFilter::toEntries(QStringLiteral("*.tar.gz")), QStringList({"targz"}));
    EXPECT_EQ(RomFilter::toEntries(QStringLiteral("*.A;;*.B")), QStringList({"A", "", "B"}));
    EXPECT_TRUE(RomFilter::toEntries(QString()).isEmpty());
}

TEST(RomFilter, TypedEntriesAreUpperCaseLettersAndDigits)
{
    EXPECT_EQ(RomFilter::cleanTyped(QStringLiteral("n")), QStringLiteral("N"));
    EXPECT_EQ(RomFilter::cleanTyped(QStringLiteral("g.b-* 1")), QStringLiteral("GB1"));
    EXPECT_EQ(RomFilter::cleanTyped(QStringLiteral("äß")), QString());
}

TEST(RomFilter, MasksForTheArchiveComponent)
{
    const QString cr(QChar(13));
    EXPECT_EQ(RomFilter::extractMask(QStringLiteral("*.NES;*.SMC")),
              QStringLiteral("*.NES") + cr + QStringLiteral("*.SMC"));
    EXPECT_EQ(RomFilter::removeMask(QStringLiteral("*.NES;*.SMC")),
              QStringLiteral("*") + cr + QStringLiteral("<*.NES") + cr + QStringLiteral("<*.SMC"));
}
