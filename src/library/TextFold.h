// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

// The text in a form that compares without regard to case: UTF-8 in, UTF-8 out. Folds the letters of
// the Latin, Greek and Cyrillic alphabets, which is what patch names, authors and comments are written in;
// other characters are kept as they are. Bytes that are not UTF-8 are kept too.
std::string FoldCase(std::string_view text);
// The same appended to `out`: as many bytes as the text (every letter it folds keeps its length).
void AppendFoldCase(std::string& out, std::string_view text);

// The first `count` characters (code points) of a UTF-8 text.
std::string_view FirstCharacters(std::string_view text, std::size_t count);

// Orders texts as people do: runs of digits by their value ("Pad 2" before "Pad 10"), everything else
// byte by byte. Negative, zero or positive, as strcmp.
int NaturalCompare(std::string_view a, std::string_view b);
