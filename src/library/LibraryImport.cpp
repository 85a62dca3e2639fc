// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/LibraryImport.h"

#include "library/LibraryIndex.h"
#include "library/LibraryScan.h"
#include "library/ReadCatalogEntry.h"
#include "util/LegacyText.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxStemBytes = 100;
constexpr int kMaxNumber = 9999;

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::string Candidate(const std::string& stem, int number) {
    return number == 1 ? stem + ".qnp" : stem + " (" + std::to_string(number) + ").qnp";
}

std::string TempName() {
    static std::random_device random;
    constexpr const char* kHex = "0123456789abcdef";
    std::string tag;
    for (std::uint32_t r = random(), i = 0; i < 8; ++i, r >>= 4) tag += kHex[r & 0xF];
    return ".import." + tag + ".tmp";
}

// Writes a whole hidden temporary file; its path, or empty.
std::string WriteTemp(const fs::path& folder, std::span<const std::uint8_t> bytes, FileWriteResult& result) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        const fs::path temp = folder / TempName();
        errno = 0;
        std::FILE* file = std::fopen(temp.c_str(), "wbx");
        if (file == nullptr) {
            if (errno == EEXIST) continue;
            result = FileWriteResult::OpenFailed;
            return {};
        }
        bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        ok = std::fflush(file) == 0 && ok;
        ok = std::fclose(file) == 0 && ok;
        if (!ok) {
            std::error_code ec;
            fs::remove(temp, ec);
            result = FileWriteResult::WriteFailed;
            return {};
        }
        return temp.string();
    }
    result = FileWriteResult::OpenFailed;
    return {};
}

fs::path Canonical(const fs::path& path) {
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(path, ec);
    return ec ? path.lexically_normal() : canonical;
}

// Whether `path` is `folder` or lies below it, however either is written.
bool IsWithin(const fs::path& path, const fs::path& folder) {
    const fs::path rel = Canonical(path).lexically_relative(Canonical(folder));
    return !rel.empty() && *rel.begin() != "..";
}

std::string OwnStem(const std::string& path) { return DecodeLegacyText(fs::path(path).stem().string()); }

void ImportFile(const std::string& source, const std::string& folder, std::vector<ImportOutcome>& out) {
    ImportOutcome outcome{source, "", ""};
    // A patch file is small; anything larger than this is no patch worth copying whole.
    constexpr std::size_t kLargest = 1 << 20;
    FileHead head;
    if (!ReadFileHead(source, kLargest + 1, head)) {
        outcome.problem = CatalogOpenFailedReason();
    } else {
        CatalogEntry entry;
        ReadCatalogEntry(std::span(head.bytes).first(std::min(head.bytes.size(), CatalogReadSize())), entry);
        if (!entry.valid) {
            outcome.problem = entry.reason;
        } else if (head.bytes.size() > kLargest) {
            outcome.problem = "Not a QuarnEdit Patch";
        } else {
            const std::string name =
                entry.patchName.find_first_not_of(" \t") == std::string::npos ? OwnStem(source) : entry.patchName;
            const NewFileResult written = WriteNewLibraryFile(folder, SafeFileStem(name), head.bytes);
            if (written.result == FileWriteResult::Ok) {
                outcome.target = written.path;
            } else {
                outcome.problem = FileWriteMessage(written.result);
            }
        }
    }
    out.push_back(std::move(outcome));
}

}  // namespace

std::string SafeFileStem(std::string_view patchName) {
    const std::string text = DecodeLegacyText(patchName);
    std::string stem;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        const bool refused = b < 0x20 || b == 0x7F || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' ||
                             c == '"' || c == '<' || c == '>' || c == '|';
        stem += refused ? '_' : c;
    }
    // Not hidden, and nothing that other systems drop from the end of a name.
    const std::size_t start = stem.find_first_not_of(". ");
    stem.erase(0, start == std::string::npos ? stem.size() : start);
    if (stem.size() > kMaxStemBytes) {
        std::size_t cut = kMaxStemBytes;
        while (cut > 0 && IsContinuation(stem[cut])) --cut;
        stem.resize(cut);
    }
    while (!stem.empty() && (stem.back() == ' ' || stem.back() == '.')) stem.pop_back();
    return stem.empty() ? std::string("Untitled") : stem;
}

std::string UniqueLibraryPath(const std::string& folder, const std::string& stem) {
    std::error_code ec;
    for (int n = 1; n <= kMaxNumber; ++n) {
        const fs::path candidate = fs::path(folder) / Candidate(stem, n);
        if (!fs::exists(fs::symlink_status(candidate, ec))) return candidate.string();
    }
    return (fs::path(folder) / Candidate(stem + " " + TempName().substr(8, 8), 1)).string();
}

NewFileResult WriteNewLibraryFile(const std::string& folder, const std::string& stem,
                                  std::span<const std::uint8_t> bytes) {
    NewFileResult out;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) return out;
    const std::string temp = WriteTemp(folder, bytes, out.result);
    if (temp.empty()) return out;
    // A hard link takes a name only when it is free, so nobody's file is ever replaced.
    for (int n = 1; n <= kMaxNumber; ++n) {
        const fs::path candidate = fs::path(folder) / Candidate(stem, n);
        fs::create_hard_link(temp, candidate, ec);
        if (!ec) {
            fs::remove(temp, ec);
            out.result = FileWriteResult::Ok;
            out.path = candidate.string();
            return out;
        }
        if (ec != std::errc::file_exists) break;
    }
    // No hard links here (some removable media): claim the name exclusively and write it in place.
    fs::remove(temp, ec);
    for (int n = 1; n <= kMaxNumber; ++n) {
        const fs::path candidate = fs::path(folder) / Candidate(stem, n);
        errno = 0;
        std::FILE* file = std::fopen(candidate.c_str(), "wbx");
        if (file == nullptr) {
            if (errno == EEXIST) continue;
            out.result = FileWriteResult::OpenFailed;
            return out;
        }
        bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        ok = std::fflush(file) == 0 && ok;
        ok = std::fclose(file) == 0 && ok;
        if (!ok) {
            fs::remove(candidate, ec);
            out.result = FileWriteResult::WriteFailed;
            return out;
        }
        out.result = FileWriteResult::Ok;
        out.path = candidate.string();
        return out;
    }
    out.result = FileWriteResult::OpenFailed;
    return out;
}

std::vector<ImportOutcome> ImportIntoLibrary(const std::vector<std::string>& dropped, const std::string& userFolder) {
    std::vector<ImportOutcome> out;
    const auto alreadyThere = [&out](const std::string& source) {
        out.push_back({source, "", "Already in the library"});
    };
    for (const std::string& source : dropped) {
        std::error_code ec;
        if (IsWithin(source, userFolder)) {
            alreadyThere(source);
            continue;
        }
        if (!fs::is_directory(source, ec)) {
            ImportFile(source, userFolder, out);
            continue;
        }
        // Named as the user sees it ("Drums/", "a/b/.." and the like name their folder), links left as they are.
        fs::path folderPath = fs::absolute(source, ec).lexically_normal();
        if (!folderPath.has_filename()) folderPath = folderPath.parent_path();
        const std::string bank = (fs::path(userFolder) / SafeFileStem(folderPath.filename().string())).string();
        // A folder above the user's own holds the library itself: those patches are there already.
        const bool holdsUserFolder = IsWithin(userFolder, folderPath);
        bool userFolderSeen = false;
        for (const FileStamp& file : ScanLibrary({{folderPath.string(), "", true}})) {
            if (holdsUserFolder && IsWithin(file.path, userFolder)) {
                if (!std::exchange(userFolderSeen, true)) alreadyThere(userFolder);
                continue;
            }
            ImportFile(file.path, bank, out);
        }
    }
    return out;
}
