// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/CLibraryWnd.h"

#include "library/CatalogEntry.h"

#include <QWidget>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

class CQuarnEditApp;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

// The morph window: patch B from the library or a file, one slider from A to B, Keep and Cancel. Not modal;
// closing it (Escape) cancels. The slider follows the morph's position whoever moves it (a controller too). The
// list chooses B as the arrows browse it and keeps the focus; Enter or Tab goes on to the slider.
class CMorphWnd : public QWidget {
public:
    CMorphWnd(CQuarnEditApp& app, const LibrarySetup& library, QWidget* parent = nullptr);
    ~CMorphWnd() override;  // stops the library's reading and waits for its thread

    QSlider* Slider() const { return m_slider; }
    // The library's patches, listed once its files were read on a thread of their own.
    QComboBox* LibraryList() const { return m_library; }
    bool LibraryListed() const { return m_listed; }
    QPushButton* FileButton() const { return m_file; }
    QPushButton* KeepButton() const { return m_keep; }
    QLabel* Message() const { return m_message; }
    // Closes without cancelling again: the morph already ended.
    void CloseEnded();
    // Shows what the morph holds now.
    void Update();
    // A learn began, ended or was cancelled: one for the slider is said here, where it was begun, and the
    // slider marked while it waits.
    void LearnChanged();
    // What the last learn for the slider said; hidden when there is none.
    QLabel* LearnNote() const { return m_learnNote; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ChoosePatchB(const std::string& path);
    void ShowLibrary(const std::vector<CatalogEntry>& entries);

    CQuarnEditApp& m_app;
    std::string m_patchFolder;         // where "From a file..." starts
    std::vector<std::string> m_paths;  // of the library list's entries
    QComboBox* m_library = nullptr;
    QPushButton* m_file = nullptr;
    QLabel* m_patchB = nullptr;
    QSlider* m_slider = nullptr;
    QLabel* m_position = nullptr;
    QLabel* m_message = nullptr;
    QLabel* m_learnNote = nullptr;
    QPushButton* m_keep = nullptr;
    bool m_ended = false;
    bool m_learnSeen = false;  // a learn for the slider was begun while the window is open
    bool m_listed = false;
    std::atomic<bool> m_cancel{false};
    std::thread m_reader;
};
