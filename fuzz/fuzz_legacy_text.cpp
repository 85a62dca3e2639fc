// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as a patch text: decoding always gives UTF-8, and the way back to the code page gives
// the very bytes of any text that is not UTF-8. Whatever the user types is stored so that it reads back
// as typed, in either encoding, and a comment's line breaks are stored as CR LF and nothing else. An edit
// fitted to a field's room fits it, in whole characters.
#include "patch/PatchText.h"
#include "util/LegacyText.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_legacy_text: %s\n", what);
    std::abort();
}

bool OnlyCrLfBreaks(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string decoded = DecodeLegacyText(bytes);
    Require(IsValidUtf8(decoded), "decoded text is not UTF-8");
    Require(DecodeLegacyText(decoded) == decoded, "UTF-8 changed by decoding");
    if (IsValidUtf8(bytes)) {
        Require(decoded == bytes, "UTF-8 changed by decoding");
        // Bytes of the code page that are not UTF-8 themselves read back as this text.
        if (const std::optional<std::string> legacy = EncodeLegacyText(bytes); legacy && !IsValidUtf8(*legacy))
            Require(DecodeLegacyText(*legacy) == bytes, "code page bytes read back as another text");
    } else {
        Require(EncodeLegacyText(decoded) == bytes, "code page text not encoded back to its bytes");
    }

    const std::string comment = ShownComment(bytes);
    Require(comment.find('\r') == std::string::npos, "a comment shown with a CR");
    for (const TextEncoding encoding : {TextEncoding::Utf8, TextEncoding::Windows1252}) {
        Require(ShownText(StoredText(decoded, encoding)) == decoded, "stored text reads back as another");
        const std::string stored = StoredComment(comment, encoding);
        Require(OnlyCrLfBreaks(stored), "comment line break stored other than CR LF");
        Require(ShownComment(stored) == comment, "stored comment reads back as another");
        // The input's first half as the text before an edit, the whole as the text after it, a room from a byte.
        const std::string before = DecodeLegacyText(bytes.substr(0, bytes.size() / 2));
        const TextRoom room{size == 0 ? 0 : data[0] % 64u, encoding};
        for (const bool isComment : {false, true}) {
            const std::string fitted = FitEdit(before, decoded, room, isComment);
            Require(IsValidUtf8(fitted), "fitted text cut inside a character");
            const std::size_t stored =
                isComment ? StoredCommentSize(fitted, encoding) : StoredTextSize(fitted, encoding);
            Require(stored <= room.bytes, "fitted text does not fit");
        }
    }
    return 0;
}
