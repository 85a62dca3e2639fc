// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CMorphWnd.h"

#include "app/CQuarnEditApp.h"
#include "app/ControllerLearn.h"
#include "editor/Morph.h"
#include "editor/ports/UserDialogs.h"
#include "library/LibraryIndex.h"
#include "library/LibraryScan.h"
#include "ui/Accessibility.h"
#include "ui/ControllerMenu.h"
#include "ui/DialogUnits.h"
#include "ui/UiText.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <tuple>

namespace {

// The library's valid patches by name, with the bank where there is one; what was read when `cancel` is set.
std::vector<CatalogEntry> LibraryPatches(const std::vector<LibraryRoot>& roots, const std::atomic<bool>& cancel) {
    std::vector<CatalogEntry> entries;
    for (const FileStamp& stamp : ScanLibrary(roots, &cancel)) {
        if (cancel) break;
        CatalogEntry entry = ReadLibraryFile(stamp);
        if (entry.valid) entries.push_back(std::move(entry));
    }
    std::ranges::sort(entries, [](const CatalogEntry& a, const CatalogEntry& b) {
        return std::tie(a.patchName, a.bank, a.path) < std::tie(b.patchName, b.bank, b.path);
    });
    return entries;
}

}  // namespace

CMorphWnd::CMorphWnd(CQuarnEditApp& app, const LibrarySetup& library, QWidget* parent)
    : QWidget(parent, Qt::Window), m_app(app), m_patchFolder(library.userFolder) {
    setWindowTitle(QStringLiteral("Morph - QuarnEdit"));
    setFont(DialogFont());
    auto* layout = new QVBoxLayout(this);

    auto* choose = new QHBoxLayout;
    auto* libraryLabel = new QLabel(QStringLiteral("Patch &B from the library:"), this);
    m_library = new QComboBox(this);
    m_library->setPlaceholderText(QStringLiteral("(reading the library...)"));
    m_library->setCurrentIndex(-1);
    libraryLabel->setBuddy(m_library);
    m_file = new QPushButton(QStringLiteral("From a &file..."), this);
    choose->addWidget(libraryLabel);
    choose->addWidget(m_library, 1);
    choose->addWidget(m_file);
    layout->addLayout(choose);

    m_patchB = new QLabel(this);
    layout->addWidget(m_patchB);

    auto* sliderRow = new QGridLayout;
    auto* a = new QLabel(QStringLiteral("A"), this);
    auto* b = new QLabel(QStringLiteral("B"), this);
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setRange(0, kMorphEnd);
    m_slider->setSingleStep(10);
    m_slider->setPageStep(100);
    m_slider->setTickPosition(QSlider::TicksBelow);
    m_slider->setTickInterval(kMorphMiddle);
    m_slider->setAccessibleName(QStringLiteral("Morph from A to B"));
    m_slider->setMinimumWidth(360);
    sliderRow->addWidget(a, 0, 0);
    sliderRow->addWidget(m_slider, 0, 1);
    sliderRow->addWidget(b, 0, 2);
    m_position = new QLabel(this);
    m_position->setAlignment(Qt::AlignHCenter);
    sliderRow->addWidget(m_position, 1, 1);
    layout->addLayout(sliderRow);

    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    m_message->setAccessibleName(QStringLiteral("Message"));
    layout->addWidget(m_message);
    m_learnNote = new QLabel(this);
    m_learnNote->setWordWrap(true);
    m_learnNote->setAccessibleName(QStringLiteral("Learn Controller"));
    m_learnNote->hide();
    layout->addWidget(m_learnNote);

    auto* buttons = new QHBoxLayout;
    m_keep = new QPushButton(QStringLiteral("&Keep"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    buttons->addStretch();
    buttons->addWidget(m_keep);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(m_library, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(m_paths.size()))
            ChoosePatchB(m_paths[static_cast<std::size_t>(index)]);
    });
    connect(m_file, &QPushButton::clicked, this, [this] {
        // In the user's patch folder, where the library keeps what was saved to it.
        const FileDialogRequest request{
            "qnp", {{"Quarn Patch (*.qnp)", "*.qnp"}, {"All Files (*.*)", "*.*"}}, false, m_patchFolder};
        if (const std::optional<std::string> path = m_app.Dialogs().AskOpenFileName(request)) ChoosePatchB(*path);
    });
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
        if (MorphSession* morph = m_app.Sound().Morph()) morph->SetPosition(value);
    });
    connect(m_keep, &QPushButton::clicked, this, [this] { m_app.Sound().EndMorph(true); });
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    // Escape ends a learn that waits before it closes the window.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, [this] {
        if (m_app.Controllers().IsLearning())
            m_app.Controllers().CancelLearn();
        else
            close();
    });
    // The slider can follow a knob of the user's controller, like the form's sliders (right-click, Shift+F10).
    m_slider->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_slider, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        ShowControllerMenu(m_app.Controllers(), kMorphPositionTarget, m_slider->mapToGlobal(at), this);
    });

    if (MorphSession* morph = m_app.Sound().Morph()) morph->SetObserver([this] { Update(); });
    // Thousands of files take a while: they are read away from the window, which lists them when they are in.
    // The folders the user added are asked for here, where their store lives.
    const std::vector<std::string> added =
        library.folders != nullptr ? library.folders->Folders() : std::vector<std::string>{};
    m_reader = std::thread([this, roots = LibraryRoots(library.programFolder, library.userFolder, added)] {
        std::vector<CatalogEntry> entries = LibraryPatches(roots, m_cancel);
        QMetaObject::invokeMethod(
            this, [this, entries = std::move(entries)] { ShowLibrary(entries); }, Qt::QueuedConnection);
    });
    // Browsing the list with the arrows chooses as it goes and stays in the list; Enter, like Tab, goes on to the
    // slider.
    setTabOrder(m_library, m_slider);
    m_library->installEventFilter(this);
    NameBuddies(this);
    Update();
    m_library->setFocus();
}

bool CMorphWnd::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_library && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_slider->isEnabled()) {
            m_slider->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

CMorphWnd::~CMorphWnd() {
    // Gone without closing (its parent went first): the morph, still open, no longer tells it anything.
    if (MorphSession* morph = m_app.Sound().Morph(); morph != nullptr && !m_ended) morph->SetObserver({});
    m_cancel = true;
    if (m_reader.joinable()) m_reader.join();
}

void CMorphWnd::ShowLibrary(const std::vector<CatalogEntry>& entries) {
    for (const CatalogEntry& entry : entries) {
        const std::string name = entry.patchName.empty() ? entry.fileName : entry.patchName;
        m_library->addItem(ToQString(entry.bank.empty() ? name : name + " (" + entry.bank + ")"));
        m_paths.push_back(entry.path);
    }
    m_library->setPlaceholderText(entries.empty() ? QStringLiteral("(no patches in the library)")
                                                  : QStringLiteral("(choose a patch)"));
    // The B offered again (the last one since the program started) shows as the list's choice when it is there.
    const MorphSession* morph = m_app.Sound().Morph();
    const auto at = morph != nullptr && !morph->PatchBPath().empty() ? std::ranges::find(m_paths, morph->PatchBPath())
                                                                     : m_paths.end();
    m_library->setCurrentIndex(at != m_paths.end() ? static_cast<int>(at - m_paths.begin()) : -1);
    m_listed = true;
}

void CMorphWnd::ChoosePatchB(const std::string& path) {
    MorphSession* morph = m_app.Sound().Morph();
    if (morph == nullptr) return;
    const std::optional<std::string> error = morph->LoadPatchB(path);
    m_message->setText(error ? ToQString(*error) : QString());
    Update();
}

void CMorphWnd::Update() {
    const MorphSession* morph = m_app.Sound().Morph();
    const bool chosen = morph != nullptr && morph->HasPatchB();
    const int position = morph != nullptr ? morph->Position() : 0;
    {
        // The morph is already there: the slider only shows it.
        const QSignalBlocker quiet(m_slider);
        m_slider->setValue(position);
    }
    m_slider->setEnabled(chosen);
    m_keep->setEnabled(chosen);
    m_patchB->setText(chosen ? QStringLiteral("B: ") + ToQString(morph->PatchBName())
                             : QStringLiteral("B: none chosen"));
    const QString where = ToQString(MorphPositionText(position));
    m_position->setText(where);
    // Disabled, the slider and Keep are out of the Tab order: a screen reader says why, on the list that has the
    // focus when the window opens and on them where the user finds them.
    const QString first = QStringLiteral("choose patch B first");
    const bool waiting = m_app.Controllers().LearningTarget() == kMorphPositionTarget;
    m_slider->setAccessibleDescription(waiting ? LearnWaitingDescription() : chosen ? where : first);
    m_keep->setAccessibleDescription(chosen ? QString() : first);
    m_library->setAccessibleDescription(
        chosen ? QString() : QStringLiteral("Choose patch B first: the slider and Keep wait for it."));
}

void CMorphWnd::LearnChanged() {
    const ControllerLearn& learn = m_app.Controllers();
    const bool waiting = learn.LearningTarget() == kMorphPositionTarget;
    // Only a learn begun while this window is open is its news; one for another control ends it.
    m_learnSeen = learn.LearnTextTarget() == kMorphPositionTarget && (m_learnSeen || waiting);
    const QString text = m_learnSeen ? ToQString(learn.LearnText()) : QString();
    if (m_learnNote->text() != text) {
        m_learnNote->setText(text);
        m_learnNote->setVisible(!text.isEmpty());
        // Heard where it was begun, as the main window's status line is.
        Announce(this, text);
    }
    MarkLearnTarget(m_slider, waiting);
    Update();
}

void CMorphWnd::CloseEnded() {
    m_ended = true;
    close();
}

void CMorphWnd::closeEvent(QCloseEvent* event) {
    if (!m_ended) {
        m_ended = true;
        if (MorphSession* morph = m_app.Sound().Morph()) morph->SetObserver({});
        m_app.Sound().EndMorph(false);
    }
    event->accept();
}
