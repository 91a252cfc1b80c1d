// SPDX-License-Identifier: GPL-3.0-or-later
#include "names/Wildcard.h"

#include <gtest/gtest.h>

using kelmar::PatternSet;
using kelmar::wildcardMatch;

TEST(Wildcard, StarAndQuestionMarkIgnoringCase)
{
    EXPECT_TRUE(wildcardMatch(u"*.zip", u"GAME.ZIP"));
    EXPECT_TRUE(wildcardMatch(u"*", u""));
    EXPECT_TRUE(wildcardMatch(u"g?me.*", u"game.nes"));
    EXPECT_FALSE(wildcardMatch(u"g?me.*", u"gme.nes"));
    EXPECT_FALSE(wildcardMatch(u"*.zip", u"game.zip.bak"));
    EXPECT_TRUE(wildcardMatch(u"*a*b*c", u"xxaxxbxxbxc"));
    EXPECT_TRUE(wildcardMatch(u"ÄRGER*", u"ärger.nes"));
}

TEST(Wildcard, BracketsAndBackslashesAreOrdinaryCharacters)
{
    EXPECT_TRUE(wildcardMatch(u"[a]*", u"[A] game.nes"));
    EXPECT_FALSE(wildcardMatch(u"[a]*", u"a game.nes"));
    EXPECT_TRUE(wildcardMatch(u"a\\b", u"a\\b"));
}

TEST(Wildcard, PatternSetIgnoresEmptyPartsAndMatchesAllWhenEmpty)
{
    PatternSet set(QStringLiteral("*.zip;;*.nes;"));
    EXPECT_EQ(set.patterns().size(), 2);
    EXPECT_TRUE(set.matches(u"a.NES"));
    EXPECT_FALSE(set.matches(u"a.txt"));
    EXPECT_TRUE(PatternSet(QStringLiteral(";;;")).matches(u"anything"));
    EXPECT_TRUE(PatternSet().matches(u"anything"));
}
