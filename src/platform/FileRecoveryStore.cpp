// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileRecoveryStore.h"

#include "patch/PatchFile.h"
#include "util/WholeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

// After the patch file: this marker, the path's length (int32 little-endian) and the path's bytes.
constexpr char kPathMarker[4] = {'P', 'A', 'T', 'H'};

}  // namespace

FileRecoveryStore::FileRecoveryStore() : FileRecoveryStore(DefaultFolder()) {}

FileRecoveryStore::FileRecoveryStore(QString folder)
    : m_folder(std::move(folder)),
      m_key(QStringLiteral("unsaved-%1-%2")
                .arg(::getpid())
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))) {}

FileRecoveryStore::~FileRecoveryStore() = default;

QString FileRecoveryStore::DefaultFolder() {
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    QString state = QStandardPaths::writableLocation(QStandardPaths::GenericStateLocation);
#else
    // Qt knows the state folder from 6.7 on; before, the XDG rule by hand.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
#endif
    if (state.isEmpty() || QDir::isRelativePath(state)) state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/QuarnEdit");
}

QString FileRecoveryStore::PathOf(const QString& key, const char* suffix) const {
    return m_folder + QLatin1Char('/') + key + QLatin1String(suffix);
}

bool FileRecoveryStore::LockOwn() {
    if (m_lock) return true;
    if (!QDir().mkpath(m_folder)) return false;
    auto lock = std::make_unique<QLockFile>(PathOf(m_key, ".lock"));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) return false;
    m_lock = std::move(lock);
    return true;
}

bool FileRecoveryStore::Save(std::span<const std::uint8_t> patchFile, const std::string& documentPath) {
    if (!LockOwn()) return false;
    std::vector<std::uint8_t> bytes(patchFile.begin(), patchFile.end());
    bytes.insert(bytes.end(), std::begin(kPathMarker), std::end(kPathMarker));
    bytes.resize(bytes.size() + 4);
    WriteInt32LE(bytes, bytes.size() - 4, static_cast<std::int32_t>(documentPath.size()));
    bytes.insert(bytes.end(), documentPath.begin(), documentPath.end());
    WholeFileWriter file;
    FileWriteResult result = file.Open(QFile::encodeName(PathOf(m_key, ".qnp")).toStdString());
    if (result == FileWriteResult::Ok) result = file.Commit(bytes);
    return result == FileWriteResult::Ok;
}

void FileRecoveryStore::Discard() { QFile::remove(PathOf(m_key, ".qnp")); }

std::optional<RecoveryStore::Abandoned> FileRecoveryStore::TakeAbandoned() {
    const QFileInfoList files = QDir(m_folder).entryInfoList({QStringLiteral("*.qnp")}, QDir::Files, QDir::Time);
    for (const QFileInfo& info : files) {
        const QString key = info.completeBaseName();
        if (key == m_key || m_taken.count(key) != 0) continue;
        // A lock held by a running instance stays; one whose owner has gone is taken over.
        auto lock = std::make_unique<QLockFile>(PathOf(key, ".lock"));
        lock->setStaleLockTime(0);
        if (!lock->tryLock(0)) continue;

        Abandoned file{key.toStdString(), QFile::encodeName(info.absoluteFilePath()).toStdString(), {}};
        QFile in(info.absoluteFilePath());
        if (in.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = in.readAll();
            const auto tail = static_cast<qsizetype>(kPatchFileSize);
            if (bytes.size() >= tail + 8 && bytes.mid(tail, 4) == QByteArray(kPathMarker, 4)) {
                const auto* raw = reinterpret_cast<const std::uint8_t*>(bytes.constData());
                const std::int32_t length =
                    ReadInt32LE(std::span(raw, static_cast<std::size_t>(bytes.size())), kPatchFileSize + 4);
                if (length >= 0 && length <= bytes.size() - tail - 8)
                    file.documentPath = bytes.mid(tail + 8, length).toStdString();
            }
        }
        m_taken[key] = std::move(lock);
        return file;
    }
    return std::nullopt;
}

void FileRecoveryStore::Remove(const Abandoned& file) {
    const QString key = QString::fromStdString(file.key);
    QFile::remove(PathOf(key, ".qnp"));
    m_taken.erase(key);  // unlocking removes the lock file
}
