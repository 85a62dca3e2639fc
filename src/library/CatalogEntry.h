// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A patch's sound as the library compares it: the record's 27 value slots, 21 stored list entries and its two
// packed words, in record order. Held narrow, as a library holds tens of thousands: slots and entries are
// clamped to 16 bits (every real value fits), the words keep their low 16 bits.
constexpr std::size_t kPatchParamCount = 27 + 21 + 2;
using PatchParams = std::array<std::int16_t, kPatchParamCount>;

// The kinds of sound the library sorts patches into, in the order it lists them.
enum class PatchKind : std::uint8_t { Bass, Lead, Pad, Keys, Brass, Strings, Pluck, FX, Percussion, Sequence, Other };
constexpr int kPatchKindCount = 11;

// What the user marked a patch with. Kept by the patch's content, not its path, so that a rescan, a rename
// or a move keeps them.
struct PatchMarks {
    bool star = false;
    bool hidden = false;
    std::int8_t kind = -1;  // a PatchKind the user chose; -1: the one guessed from the texts

    bool Empty() const { return !star && !hidden && kind < 0; }
    bool operator==(const PatchMarks&) const = default;
};

// One file of the patch library, as listed and as kept in the index. Texts are UTF-8 whatever the file
// held; the path keeps the file system's own bytes, so that any file can be opened again.
struct CatalogEntry {
    std::string path;      // absolute
    std::string fileName;  // for display
    std::string bank;      // "" for the top of a library folder, else e.g. "Pads" or "Pads/Soft"
    std::uint64_t size = 0;
    std::int64_t mtime = 0;  // nanoseconds since the epoch
    bool valid = false;
    std::string patchName;
    std::string author;
    std::string comment;
    std::string reason;         // why the file cannot be opened: the patch file's own message; empty when valid
    std::uint64_t content = 0;  // hash of the whole record, texts included; 0 for a file that is no patch
    PatchParams params{};       // zero for a file that is no patch
    PatchMarks marks;           // not read from the file: the index keeps them by `content`

    bool operator==(const CatalogEntry&) const = default;
};

// A folder as a scan found it: a file added, removed or renamed in it changes its modification time.
struct FolderStamp {
    std::string path;
    std::int64_t mtime = 0;  // nanoseconds since the epoch

    bool operator==(const FolderStamp&) const = default;
};

// The folders of the last complete scan, and the roots they were found under (as RootsKey gives them).
struct ScanRecord {
    std::string roots;
    std::vector<FolderStamp> folders;

    bool operator==(const ScanRecord&) const = default;
};

// What a scan finds of a file before reading it: the key by which the index decides that a file changed.
struct FileStamp {
    std::string path;
    std::string bank;
    std::uint64_t size = 0;
    std::int64_t mtime = 0;

    bool operator==(const FileStamp&) const = default;
};
