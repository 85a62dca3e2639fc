// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/CatalogEntry.h"

#include <optional>
#include <span>
#include <string_view>

// The kinds' names as the library shows them, in PatchKind order.
std::string_view KindName(PatchKind kind);
// The kind of a name as KindName gives it, in any case; nullopt for anything else.
std::optional<PatchKind> KindOfName(std::string_view name);

// The words that make a kind, as the table in PatchKinds.cpp lists them: a word ending in '*' matches every
// word that starts with it ("bass*" finds "Bassline"), others match a whole word only ("sub" misses "subtle").
struct KindKeywords {
    PatchKind kind;
    std::span<const std::string_view> words;
};
std::span<const KindKeywords> KindKeywordTable();

// The kind a patch's texts suggest: the last word of the name that names a kind (names end in what they are:
// "Warm Pad", "Acid Bass"), else the first of the comment, else Other.
PatchKind GuessKind(std::string_view name, std::string_view comment);
// The user's choice when there is one, else the guess.
PatchKind KindOf(const CatalogEntry& entry);
