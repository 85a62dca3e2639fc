#include "ui/QtUserDialogs.h"

#include "app/AppInfo.h"
#include "ui/CAboutDlg.h"
#include "ui/CCommentDlg.h"
#include "ui/CMidiOptionsDlg.h"
#include "ui/UiText.h"

#include <QFileDialog>
#include <QMessageBox>

namespace {

QMessageBox::Icon IconOf(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information: return QMessageBox::Information;
        case MessageIcon::Warning: return QMessageBox::Warning;
        case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

QWidget* QtUserDialogs::Owner(MessageOwner owner) const {
    switch (owner) {
        case MessageOwner::MainWindow: return m_mainWindow;
        case MessageOwner::Form: return m_form != nullptr ? m_form : m_mainWindow;
        case MessageOwner::None: break;
    }
    return nullptr;
}

MessageAnswer QtUserDialogs::ShowMessage(const MessageRequest& request) {
    // Without a caption of its own a message box is titled with the program's name.
    const QString caption = request.caption.empty() ? QString::fromUtf8(kAppTitle) : ToQString(request.caption);
    const QMessageBox::StandardButtons buttons =
        request.buttons == MessageButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok;
    QMessageBox box(IconOf(request.icon), caption, ToQString(request.text), buttons, Owner(request.owner));
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(request.buttons == MessageButtons::YesNo ? QMessageBox::Yes : QMessageBox::Ok);
    switch (box.exec()) {
        case QMessageBox::Yes: return MessageAnswer::Yes;
        case QMessageBox::No: return MessageAnswer::No;
        default: break;
    }
    // Closing a Yes/No box without choosing counts as No.
    return request.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

QStringList QtUserDialogs::NameFilters(const std::vector<FileFilter>& filters) {
    QStringList out;
    for (const FileFilter& filter : filters) {
        const QString name = ToQString(filter.name);
        const QString pattern = ToQString(filter.pattern);
        if (name.contains(QLatin1Char('(')) || pattern.isEmpty()) {
            out.push_back(name);
        } else {
            out.push_back(name + QStringLiteral(" (") + pattern + QLatin1Char(')'));
        }
    }
    return out;
}

std::optional<std::string> QtUserDialogs::AskFileName(const FileDialogRequest& request, bool save) {
    QFileDialog dialog(m_mainWindow);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!request.defaultExtension.empty()) dialog.setDefaultSuffix(ToQString(request.defaultExtension));
    if (save && !request.confirmOverwrite) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QStringList filters = NameFilters(request.filters);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return FromQString(dialog.selectedFiles().front());
}

std::optional<std::string> QtUserDialogs::AskSaveFileName(const FileDialogRequest& request) {
    return AskFileName(request, true);
}

std::optional<std::string> QtUserDialogs::AskOpenFileName(const FileDialogRequest& request) {
    return AskFileName(request, false);
}

void QtUserDialogs::ShowAbout() {
    CAboutDlg dialog(m_mainWindow);
    dialog.exec();
}

std::optional<int> QtUserDialogs::RunDeviceDialog(const std::vector<std::string>& names, int current) {
    CMidiOptionsDlg dialog(names, current, m_mainWindow);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.DeviceIndex();
}

std::optional<std::string> QtUserDialogs::RunCommentDialog(const std::string& text) {
    // Opened without an owner, as the form does; it stays modal for the whole program.
    CCommentDlg dialog;
    dialog.SetText(text);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.GetText();
}
