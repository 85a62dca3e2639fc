// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// Where unsaved changes wait in case the program does not end properly. Each running instance owns its
// own file; a file whose instance no longer runs is abandoned, and the next instance to start may take it.
class RecoveryStore {
public:
    virtual ~RecoveryStore() = default;

    // Writes this instance's file in one piece: a whole patch file, and the document's path ("" when untitled).
    virtual bool Save(std::span<const std::uint8_t> patchFile, const std::string& documentPath) = 0;
    // Removes this instance's file.
    virtual void Discard() = 0;

    // A file left by an instance that no longer runs, now claimed by this one so no other instance offers it.
    struct Abandoned {
        std::string key;           // identifies the file to Remove
        std::string patchFile;     // the path of its patch file
        std::string documentPath;  // the path the document had ("" when untitled)
    };
    virtual std::optional<Abandoned> TakeAbandoned() = 0;
    // Removes a file taken with TakeAbandoned; it will not be offered again.
    virtual void Remove(const Abandoned& file) = 0;
};
