// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/PatchKinds.h"

#include "library/TextFold.h"

#include <algorithm>
#include <array>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

using namespace std::string_view_literals;

// The keyword lists: the one place that decides what a name says about a sound. Lower case; '*' at the end
// matches the start of a word. Where two lists match one word, the longer keyword wins.
constexpr std::array kBassWords{"bass*"sv, "bs"sv, "sub"sv, "subbass*"sv, "808"sv};
constexpr std::array kLeadWords{"lead*"sv, "ld"sv, "solo*"sv, "scream*"sv, "whistle*"sv};
constexpr std::array kPadWords{"pad*"sv,     "pd"sv,     "atmos*"sv, "ambien*"sv, "drone*"sv, "swell*"sv,
                               "texture*"sv, "choir*"sv, "vox"sv,    "voices"sv,  "wash*"sv,  "dream*"sv};
constexpr std::array kKeysWords{"key"sv,     "keys"sv,     "kb"sv,    "piano*"sv,  "ep"sv,
                                "epiano*"sv, "organ*"sv,   "clav*"sv, "harpsi*"sv, "bell*"sv,
                                "mallet*"sv, "marimba*"sv, "vibes"sv, "celest*"sv, "chime*"sv};
constexpr std::array kBrassWords{"brass*"sv, "br"sv,   "horn*"sv, "trumpet*"sv, "trombone*"sv,
                                 "tuba*"sv,  "sax*"sv, "stab*"sv, "fanfare*"sv};
constexpr std::array kStringsWords{"string*"sv, "str"sv,    "strg*"sv,      "violin*"sv,
                                   "viola*"sv,  "cello*"sv, "orchestra*"sv, "ensemble*"sv};
constexpr std::array kPluckWords{"pluck*"sv, "plk"sv,   "pizz*"sv,  "harp"sv,   "harps"sv,  "guitar*"sv,
                                 "gtr"sv,    "koto*"sv, "banjo*"sv, "sitar*"sv, "zither*"sv};
constexpr std::array kFxWords{"fx"sv,     "sfx"sv,  "effect*"sv, "noise*"sv, "sweep*"sv, "riser*"sv, "zap*"sv,
                              "laser*"sv, "wind"sv, "siren*"sv,  "alarm*"sv, "ufo"sv,    "bomb*"sv,  "explo*"sv};
constexpr std::array kPercussionWords{"drum*"sv, "perc*"sv,    "kick*"sv,  "snare*"sv,   "hat"sv,
                                      "hats"sv,  "hihat*"sv,   "tom"sv,    "toms"sv,     "cymbal*"sv,
                                      "clap*"sv, "cowbell*"sv, "conga*"sv, "rimshot*"sv, "tabla*"sv};
constexpr std::array kSequenceWords{"seq*"sv, "arp*"sv, "pattern*"sv, "loop*"sv, "groove*"sv, "ostinato*"sv};

constexpr std::array<KindKeywords, 10> kTable{{
    {PatchKind::Bass, kBassWords},
    {PatchKind::Lead, kLeadWords},
    {PatchKind::Pad, kPadWords},
    {PatchKind::Keys, kKeysWords},
    {PatchKind::Brass, kBrassWords},
    {PatchKind::Strings, kStringsWords},
    {PatchKind::Pluck, kPluckWords},
    {PatchKind::FX, kFxWords},
    {PatchKind::Percussion, kPercussionWords},
    {PatchKind::Sequence, kSequenceWords},
}};

constexpr std::array<std::string_view, kPatchKindCount> kNames{
    "Bass", "Lead", "Pad", "Keys", "Brass", "Strings", "Pluck", "FX", "Percussion", "Sequence", "Other"};

bool IsWordByte(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c >= 0x80; }

// The words of a folded text: runs of letters and digits. "SynthBass" stays one word, and "bass*" misses it;
// names written so are rare, and matching inside words would make "Bassoon"-like false kinds common.
std::vector<std::string_view> Words(std::string_view folded) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < folded.size()) {
        while (i < folded.size() && !IsWordByte(static_cast<unsigned char>(folded[i]))) ++i;
        std::size_t end = i;
        while (end < folded.size() && IsWordByte(static_cast<unsigned char>(folded[end]))) ++end;
        if (end > i) words.push_back(folded.substr(i, end - i));
        i = end;
    }
    return words;
}

// The table as two lookups, made once: whole words, and the starts of words with their lengths. A word is then
// a handful of lookups, not a pass over every keyword (a library guesses the kinds of 50,000 patches at once).
struct KeywordIndex {
    std::unordered_map<std::string_view, std::pair<PatchKind, std::size_t>> whole;
    std::unordered_map<std::string_view, PatchKind> prefixes;
    std::size_t longestPrefix = 0;

    KeywordIndex() {
        for (const KindKeywords& row : kTable) {
            for (std::string_view key : row.words) {
                if (key.ends_with('*')) {
                    key.remove_suffix(1);
                    prefixes.emplace(key, row.kind);
                    longestPrefix = std::max(longestPrefix, key.size());
                } else {
                    whole.emplace(key, std::pair{row.kind, key.size()});
                }
            }
        }
    }
};

const KeywordIndex& Index() {
    static const KeywordIndex index;
    return index;
}

// The kind one word names, or nullopt; where two keywords match, the longer wins.
std::optional<PatchKind> KindOfWord(std::string_view word) {
    const KeywordIndex& index = Index();
    std::optional<PatchKind> best;
    std::size_t bestLength = 0;
    if (const auto it = index.whole.find(word); it != index.whole.end()) {
        best = it->second.first;
        bestLength = it->second.second;
    }
    for (std::size_t n = std::min(word.size(), index.longestPrefix); n > bestLength; --n) {
        if (const auto it = index.prefixes.find(word.substr(0, n)); it != index.prefixes.end()) return it->second;
    }
    return best;
}

}  // namespace

std::string_view KindName(PatchKind kind) {
    const auto i = static_cast<std::size_t>(kind);
    return i < kNames.size() ? kNames[i] : kNames.back();
}

std::optional<PatchKind> KindOfName(std::string_view name) {
    const std::string folded = FoldCase(name);
    for (std::size_t i = 0; i < kNames.size(); ++i)
        if (folded == FoldCase(kNames[i])) return static_cast<PatchKind>(i);
    return std::nullopt;
}

std::span<const KindKeywords> KindKeywordTable() { return kTable; }

PatchKind GuessKind(std::string_view name, std::string_view comment) {
    const std::string foldedName = FoldCase(name);
    const std::vector<std::string_view> nameWords = Words(foldedName);
    for (auto it = nameWords.rbegin(); it != nameWords.rend(); ++it)
        if (const auto kind = KindOfWord(*it)) return *kind;
    const std::string foldedComment = FoldCase(comment);
    for (std::string_view word : Words(foldedComment))
        if (const auto kind = KindOfWord(word)) return *kind;
    return PatchKind::Other;
}

PatchKind KindOf(const CatalogEntry& entry) {
    if (entry.marks.kind >= 0 && entry.marks.kind < kPatchKindCount) return static_cast<PatchKind>(entry.marks.kind);
    return GuessKind(entry.patchName, entry.comment);
}
