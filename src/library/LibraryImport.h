// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "util/WholeFile.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A file name (without extension) made from a patch name: no slashes, control characters or characters
// other systems refuse in names, no leading dots or trailing dots and spaces, at most 100 bytes (whole
// characters), "Untitled" when nothing is left. Text that is not UTF-8 is read as the legacy code page.
std::string SafeFileStem(std::string_view patchName);

// The first of "stem.qnp", "stem (2).qnp", "stem (3).qnp", ... that does not exist in `folder`.
std::string UniqueLibraryPath(const std::string& folder, const std::string& stem);

// Where "Save to Library" puts a patch: a new file in the user's patch folder named after the patch.
inline std::string LibrarySavePath(const std::string& userFolder, std::string_view patchName) {
    return UniqueLibraryPath(userFolder, SafeFileStem(patchName));
}

// Writes `bytes` as a new file in `folder` (made when missing) under the first free name as above. The file
// appears complete or not at all, and never takes the place of a file, even one another program creates at
// that moment. `path` is the file written.
struct NewFileResult {
    FileWriteResult result = FileWriteResult::OpenFailed;
    std::string path;
};
NewFileResult WriteNewLibraryFile(const std::string& folder, const std::string& stem,
                                  std::span<const std::uint8_t> bytes);

// What became of one dropped file.
struct ImportOutcome {
    std::string source;
    std::string target;   // empty when it was not imported
    std::string problem;  // why not: the patch file's message or the write's
};

// Copies dropped patch files, and the patch files in dropped folders, into the user's patch folder. A file
// is named after its patch (or its own name when the patch has none); a dropped folder becomes a bank of the
// same name. Nothing is ever overwritten; files that are no patches, and files already in the user's folder,
// are left where they are.
std::vector<ImportOutcome> ImportIntoLibrary(const std::vector<std::string>& dropped, const std::string& userFolder);
