// The quick-load library: a pop-up menu of the patches at hand. It runs inside the editor's process,
// so it uses the editor's Qt application.

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QStandardPaths>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr int kBufferSize = 261;
constexpr int kNameOffset = 7;
constexpr int kNameSize = 256;

// The patch name stored in a patch file, or the file name when the file has none.
QString DisplayName(const QFileInfo& file) {
    QFile f(file.filePath());
    if (f.open(QIODevice::ReadOnly)) {
        const QByteArray head = f.read(kNameOffset + kNameSize);
        if (head.size() == kNameOffset + kNameSize && head.startsWith("QNP")) {
            const QByteArray field = head.mid(kNameOffset, kNameSize);
            const QByteArray name = field.left(field.indexOf('\0') < 0 ? kNameSize : field.indexOf('\0'));
            if (!name.trimmed().isEmpty()) return QString::fromLocal8Bit(name);
        }
    }
    return file.fileName();
}

QStringList PatchFolders() {
    QStringList folders{QCoreApplication::applicationDirPath()};
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!data.isEmpty()) folders << QDir(data).filePath(QStringLiteral("QuarnEdit/patches"));
    return folders;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int RunQuickLoadMenuA(char* buffer, std::uintptr_t /*owner*/,
                                                                        std::int32_t x, std::int32_t y) {
    if (buffer == nullptr) return 0;
    buffer[0] = '\0';
    if (QCoreApplication::instance() == nullptr) return 0;

    QMenu menu;
    for (const QString& folder : PatchFolders()) {
        const QFileInfoList files =
            QDir(folder).entryInfoList({QStringLiteral("*.qnp")}, QDir::Files | QDir::Readable, QDir::Name);
        if (files.isEmpty()) continue;
        if (!menu.isEmpty()) menu.addSeparator();
        for (const QFileInfo& file : files) {
            const QByteArray path = QFile::encodeName(file.absoluteFilePath());
            QAction* action = menu.addAction(DisplayName(file));
            action->setData(path);
            action->setToolTip(file.absoluteFilePath());
            // The answer must fit the buffer with its terminator.
            action->setEnabled(path.size() < kBufferSize);
        }
    }
    if (menu.isEmpty()) menu.addAction(QStringLiteral("(no patches found)"))->setEnabled(false);

    QAction* chosen = menu.exec(QPoint(x, y));
    if (chosen == nullptr || !chosen->isEnabled() || chosen->data().isNull()) return 0;
    const QByteArray path = chosen->data().toByteArray();
    std::memcpy(buffer, path.constData(), static_cast<std::size_t>(path.size()));
    buffer[path.size()] = '\0';
    return 1;
}
