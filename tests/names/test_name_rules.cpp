// SPDX-License-Identifier: GPL-3.0-or-later
// The renaming rules, each row named after the wrong name it would catch.
#include "names/NameRules.h"

#include <gtest/gtest.h>

#include <functional>

using namespace kelmar;

namespace {

struct RuleCase
{
    const char* why;
    std::function<QString(const QString&)> rule;
    const char16_t* name;
    const char16_t* expected;
};

QString replaceSpaces(const QString& n)
{
    return NameRules::findAndReplace(n, QStringLiteral(" "), QStringLiteral("_"));
}

QString replaceAbyB(const QString& n)
{
    return NameRules::findAndReplace(n, QStringLiteral("a"), QStringLiteral("b"));
}

} // namespace

TEST(NameRules, EachRuleGivesTheNameAUserExpects)
{
    const RuleCase cases[] = {
        {"capital after space and parenthesis, extension lower", NameRules::capitalCase,
         u"the legend of zelda (usa).zip", u"The Legend Of Zelda (Usa).zip"},
        {"underscore starts a word, hyphen and dot do not", NameRules::capitalCase,
         u"MARIO_BROS-DX.NES", u"Mario_Bros-dx.nes"},
        {"one character is upper-cased", NameRules::capitalCase, u"a", u"A"},
        {"a word mark at the end reaches past nothing", NameRules::capitalCase, u"x(", u"X("},
        {"accented capital after a space", NameRules::capitalCase, u"\u00e9t\u00e9 game.nes",
         u"\u00c9t\u00e9 Game.nes"},
        {"Cyrillic words", NameRules::capitalCase,
         u"\u041f\u0420\u0418\u0412\u0415\u0422 \u041c\u0418\u0420.zip",
         u"\u041f\u0440\u0438\u0432\u0435\u0442 \u041c\u0438\u0440.zip"},
        {"a letter outside the basic plane is one letter", NameRules::capitalCase,
         u"\U00010428x y.nes", u"\U00010400x Y.nes"},
        {"lower case takes the extension too", NameRules::lowerCase, u"Game.ZIP", u"game.zip"},
        {"upper case takes the extension too", NameRules::upperCase, u"Game.zip", u"GAME.ZIP"},
        {"sharp s keeps the name's length in upper case", NameRules::upperCase, u"Stra\u00dfe.nes",
         u"STRA\u00dfE.NES"},
        {"Cyrillic upper case", NameRules::upperCase, u"\u0438\u0433\u0440\u0430.zip",
         u"\u0418\u0413\u0420\u0410.ZIP"},
        {"camel case split", NameRules::insertSpaces, u"SuperMarioBros.nes",
         u"Super Mario Bros.nes"},
        {"consecutive capitals each get a space", NameRules::insertSpaces, u"Street Fighter II.zip",
         u"Street Fighter I I.zip"},
        {"a hyphen gets a space on both sides", NameRules::insertSpaces, u"Spider-Man.zip",
         u"Spider - Man.zip"},
        {"digits never trigger", NameRules::insertSpaces, u"Mario64.nes", u"Mario64.nes"},
        {"a name without a dot is all extension", NameRules::insertSpaces, u"ReadMe", u"ReadMe"},
        {"only the last dot ends the base", NameRules::insertSpaces, u"Game.V2.zip",
         u"Game. V2.zip"},
        {"the extension keeps its capitals", NameRules::insertSpaces, u"GameBoy.GBC",
         u"Game Boy.GBC"},
        {"capitals outside A-Z do not trigger", NameRules::insertSpaces,
         u"Caf\u00e9\u00c9clair.nes", u"Caf\u00e9\u00c9clair.nes"},
        {"spaces go everywhere, extension too", NameRules::removeSpaces, u"Super Mario (USA). zip",
         u"SuperMario(USA).zip"},
        {"spaces to underscores out of the box", replaceSpaces, u"Super Mario Bros.nes",
         u"Super_Mario_Bros.nes"},
        {"every occurrence, case-sensitive", replaceAbyB, u"Banana.nes", u"Bbnbnb.nes"},
        {"a capital is not the letter sought", replaceAbyB, u"Abc.nes", u"Abc.nes"},
        {"left to right without overlap",
         [](const QString& n) {
             return NameRules::findAndReplace(n, QStringLiteral("aa"), QStringLiteral("a"));
         },
         u"aaa.nes", u"aa.nes"},
        {"nothing to find changes nothing",
         [](const QString& n) {
             return NameRules::findAndReplace(n, QString(), QStringLiteral("x"));
         },
         u"a b.nes", u"a b.nes"},
    };
    for (const RuleCase& c : cases) {
        EXPECT_EQ(c.rule(QString::fromUtf16(c.name)), QString::fromUtf16(c.expected)) << c.why;
    }
}
