// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/ports/LibraryHost.h"

#include <functional>
#include <memory>
#include <string>

class CMainDlg;
class FormHost;
class FrameSlot;

// The program's side of the patch library: what the library window asks of it, and File > Save to Library.
// An auditioned patch goes out through a form of its own, filled from the file and sent as Transmit All sends
// the document's form, so the document, its form, its history and its modified flag never see it.
class DocumentLibraryHost : public LibraryHost {
public:
    // Sends where `host` sends now; `open` opens a file as File > Open does, the save question first.
    DocumentLibraryHost(FormHost& host, CMainDlg& form, const FrameSlot& frame,
                        std::function<bool(const std::string&)> open);
    ~DocumentLibraryHost() override;
    DocumentLibraryHost(const DocumentLibraryHost&) = delete;
    DocumentLibraryHost& operator=(const DocumentLibraryHost&) = delete;

    // Sends nothing for a file that is no patch this program reads.
    void AuditionPatch(const std::string& path) override;
    // As File > Open of that file: the save question, then the load with its transmit question.
    bool OpenPatch(const std::string& path) override;
    // Sends what the form shows: the edit, or the original while Compare shows it.
    void RestoreDocumentPatch() override;
    std::optional<PatchParams> CurrentParams() override;
    std::vector<std::string> Differences(const std::string& path) override;

    // The user's patch folder, where Save to Library writes; empty when the platform names none.
    void SetUserFolder(std::string folder) { m_userFolder = std::move(folder); }
    const std::string& UserFolder() const { return m_userFolder; }
    // Saves the form's patch as a new file in the user's folder, named after the patch and never in place of
    // another file, and tells the user where it went or why it did not. The path written, or empty.
    std::string SaveToLibrary();

private:
    class AuditionFormHost;
    class SilentFormHost;

    FormHost& m_host;
    CMainDlg& m_form;
    const FrameSlot& m_frame;
    std::function<bool(const std::string&)> m_open;
    std::string m_userFolder;
    std::unique_ptr<AuditionFormHost> m_auditionHost;
    std::unique_ptr<CMainDlg> m_auditionForm;  // made on the first audition
    std::unique_ptr<SilentFormHost> m_compareHost;
    std::unique_ptr<CMainDlg> m_compareForm;  // a library file as the form would show it; never sends
};
