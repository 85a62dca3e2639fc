// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/ports/RecoveryStore.h"

#include <QString>

#include <map>
#include <memory>

class QLockFile;

// Unsaved changes as files in a folder of their own, by default "$XDG_STATE_HOME/QuarnEdit" (usually
// ~/.local/state/QuarnEdit). Each instance writes "<key>.qnp", a whole patch file followed by the document's
// path, and holds "<key>.lock" while it runs; a patch file whose lock no running instance holds is abandoned.
class FileRecoveryStore : public RecoveryStore {
public:
    FileRecoveryStore();
    explicit FileRecoveryStore(QString folder);
    ~FileRecoveryStore() override;

    static QString DefaultFolder();

    bool Save(std::span<const std::uint8_t> patchFile, const std::string& documentPath) override;
    void Discard() override;
    std::optional<Abandoned> TakeAbandoned() override;
    void Remove(const Abandoned& file) override;

private:
    QString PathOf(const QString& key, const char* suffix) const;
    bool LockOwn();

    QString m_folder;
    QString m_key;
    std::unique_ptr<QLockFile> m_lock;
    std::map<QString, std::unique_ptr<QLockFile>> m_taken;  // abandoned files claimed, until removed
};
