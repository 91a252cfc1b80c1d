// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The rules by which the rename operations turn a file's name into its new one. Each works on
// a bare name (no folder) and only computes; renaming is the operations' business.
//
// Case is mapped one character for one, by the Unicode simple mapping ("ß" stays "ß" in upper
// case), so a name never grows or shrinks by a change of case.
namespace kelmar::NameRules {

QString lowerCase(const QString& name);
QString upperCase(const QString& name);

// Lower case, with a capital at the start and after every " ", "_" and "(":
// "the legend of zelda (usa).zip" -> "The Legend Of Zelda (Usa).zip". A name of one
// character is upper-cased.
QString capitalCase(const QString& name);

// A space before every "A".."Z" and "-" of the base name that does not follow a space or
// start the name, repeated until nothing more is inserted: "SuperMarioBros.nes" ->
// "Super Mario Bros.nes", "Spider-Man.zip" -> "Spider - Man.zip". The extension (from the
// last dot) is left alone, and a name without a dot does not change.
QString insertSpaces(const QString& name);

// Every " " removed, extension included.
QString removeSpaces(const QString& name);

// Every occurrence of find replaced by replace, left to right, not overlapping, case
// sensitive, over the whole name. An empty find changes nothing.
QString findAndReplace(const QString& name, const QString& find, const QString& replace);

} // namespace kelmar::NameRules
