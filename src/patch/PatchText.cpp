#include "patch/PatchText.h"

#include "util/LegacyText.h"

#include <algorithm>
#include <optional>

namespace {

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Every line break, whichever way it is written, as `lineBreak`.
std::string WithLineBreaks(std::string_view text, std::string_view lineBreak) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += lineBreak;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

std::array<TextEncoding, 3> RecordTextEncodings(const PatchRecord& record) {
    const std::array<const std::string*, 3> texts{&record.patchName, &record.author, &record.comment};
    const bool legacyRecord =
        std::any_of(texts.begin(), texts.end(), [](const std::string* t) { return !IsValidUtf8(*t); });
    std::array<TextEncoding, 3> encodings{};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::string& t = *texts[i];
        const bool legacy = !IsValidUtf8(t) || (legacyRecord && IsAscii(t));
        encodings[i] = legacy ? TextEncoding::Windows1252 : TextEncoding::Utf8;
    }
    return encodings;
}

std::string ShownText(std::string_view stored) { return DecodeLegacyText(stored); }

std::string StoredText(std::string_view shown, TextEncoding encoding) {
    if (encoding == TextEncoding::Windows1252) {
        // Bytes of the code page that happen to be valid UTF-8 would be read back as another text.
        const std::optional<std::string> legacy = EncodeLegacyText(shown);
        if (legacy && DecodeLegacyText(*legacy) == shown) return *legacy;
    }
    return std::string(shown);
}

std::string ShownComment(std::string_view stored) { return WithLineBreaks(ShownText(stored), "\n"); }

std::string StoredComment(std::string_view shown, TextEncoding encoding) {
    return StoredText(WithLineBreaks(shown, "\r\n"), encoding);
}
