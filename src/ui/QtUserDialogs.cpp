// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/QtUserDialogs.h"

#include "app/AppInfo.h"
#include "ui/CAboutDlg.h"
#include "ui/CCommentDlg.h"
#include "ui/CControllersDlg.h"
#include "ui/CMidiOptionsDlg.h"
#include "ui/CMutateDlg.h"
#include "ui/CTestNoteDlg.h"
#include "ui/UiText.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
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
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    if (request.buttons == MessageButtons::YesNo) buttons = QMessageBox::Yes | QMessageBox::No;
    if (request.buttons == MessageButtons::YesNoCancel)
        buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    QMessageBox box(IconOf(request.icon), caption, ToQString(request.text), buttons, Owner(request.owner));
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(request.buttons == MessageButtons::Ok ? QMessageBox::Ok : QMessageBox::Yes);
    if (request.buttons == MessageButtons::YesNoCancel) box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
        case QMessageBox::Yes: return MessageAnswer::Yes;
        case QMessageBox::No: return MessageAnswer::No;
        case QMessageBox::Cancel: return MessageAnswer::Cancel;
        default: break;
    }
    // Closing a box without choosing: No to a question, Cancel where there is one.
    switch (request.buttons) {
        case MessageButtons::Ok: return MessageAnswer::Ok;
        case MessageButtons::YesNo: return MessageAnswer::No;
        case MessageButtons::YesNoCancel: return MessageAnswer::Cancel;
    }
    return MessageAnswer::Ok;
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

QString QtUserDialogs::MissingFolderMessage(const QString& file) {
    const QFileInfo info(file);
    if (info.absoluteDir().exists()) return {};
    return QStringLiteral("The folder \"%1\" does not exist. Choose a folder that does.")
        .arg(QDir::toNativeSeparators(info.absolutePath()));
}

void SaveFileDialog::accept() {
    // A name in a folder that does not exist would only fail later, after the dialog has gone.
    const QStringList files = selectedFiles();
    const QString problem = files.isEmpty() ? QString() : QtUserDialogs::MissingFolderMessage(files.front());
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, QString::fromUtf8(kAppTitle), problem);
        return;
    }
    QFileDialog::accept();
}

std::optional<std::string> QtUserDialogs::AskFileName(const FileDialogRequest& request, bool save) {
    SaveFileDialog dialog(m_mainWindow);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!request.defaultExtension.empty()) dialog.setDefaultSuffix(ToQString(request.defaultExtension));
    if (save && !request.confirmOverwrite) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QStringList filters = NameFilters(request.filters);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (!request.initialPath.empty()) {
        const QFileInfo initial(ToQString(request.initialPath));
        const bool hasFolder = request.initialPath.find('/') != std::string::npos;
        dialog.setDirectory(hasFolder ? initial.absolutePath() : QDir::homePath());
        dialog.selectFile(initial.fileName());
    }
    m_fileDialog = &dialog;
    const bool accepted = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    m_fileDialog = nullptr;
    if (!accepted) return std::nullopt;
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
    m_deviceDialog = &dialog;
    const int result = dialog.exec();
    m_deviceDialog = nullptr;
    if (result != QDialog::Accepted) return std::nullopt;
    return dialog.DeviceIndex();
}

void QtUserDialogs::DeviceListChanged(const std::vector<std::string>& names) {
    if (m_deviceDialog != nullptr) m_deviceDialog->SetDevices(names);
}

std::optional<int> QtUserDialogs::RunInputDeviceDialog(const std::vector<std::string>& names, int current) {
    CMidiOptionsDlg dialog(names, current, m_mainWindow, CMidiOptionsDlg::Direction::Input);
    m_inputDialog = &dialog;
    const int result = dialog.exec();
    m_inputDialog = nullptr;
    if (result != QDialog::Accepted) return std::nullopt;
    return dialog.DeviceIndex();
}

void QtUserDialogs::InputDeviceListChanged(const std::vector<std::string>& names) {
    if (m_inputDialog != nullptr) m_inputDialog->SetDevices(names);
}

std::optional<std::string> QtUserDialogs::RunCommentDialog(const std::string& text, const TextRoom& room) {
    // Opened without an owner, as the form does; it stays modal for the whole program.
    CCommentDlg dialog(room);
    dialog.SetText(text);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.GetText();
}

std::optional<TestNoteSettings> QtUserDialogs::RunTestNoteDialog(const TestNoteSettings& current) {
    CTestNoteDlg dialog(current, m_mainWindow);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Settings();
}

std::optional<MutationRequest> QtUserDialogs::RunMutateDialog(const MutationSettings& current) {
    CMutateDlg dialog(current, m_mainWindow);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Request();
}

std::optional<std::vector<std::size_t>> QtUserDialogs::RunControllersDialog(const std::vector<ControllerRow>& rows) {
    CControllersDlg dialog(rows, m_mainWindow);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Removed();
}
