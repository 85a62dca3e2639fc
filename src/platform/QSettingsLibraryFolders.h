// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/ports/LibraryFolderStore.h"

#include <QString>

// The folders the user added to the library, in the profile INI file: section "Library", key "Folders",
// a list of paths. Beside the profile's own settings, which it leaves alone.
class QSettingsLibraryFolders : public LibraryFolderStore {
public:
    static constexpr const char* kKey = "Library/Folders";

    // The profile's file: QSettingsProfile::DefaultPath(), or ProfilePath() where the profile is not linked.
    explicit QSettingsLibraryFolders(QString path);

    std::vector<std::string> Folders() override;
    void SetFolders(const std::vector<std::string>& folders) override;

private:
    QString m_path;
};
