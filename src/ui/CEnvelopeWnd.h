// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/EnvelopeShape.h"
#include "editor/FormState.h"

#include <QElapsedTimer>
#include <QString>
#include <QWidget>

#include <functional>

// One envelope of the form drawn as a shape over time, and described in words as its accessible description.
// It follows the form through the form's watchers: a change only marks the picture stale and starts one
// refresh, so however many controls an edit, a knob or the morph changes at once, the values are read and the
// picture is drawn once, when the event loop next runs and at most once a frame.
class EnvelopeView : public QWidget, private FormWatcher {
public:
    EnvelopeView(FormState& form, const EnvelopeControls& section, QWidget* parent = nullptr);
    ~EnvelopeView() override;
    EnvelopeView(const EnvelopeView&) = delete;
    EnvelopeView& operator=(const EnvelopeView&) = delete;

    const EnvelopeValues& Values() const { return m_values; }
    const EnvelopeShape& Shape() const { return m_shape; }
    // How many times the values were read again since the view was made: one per refresh, not per change.
    int Refreshes() const { return m_refreshes; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ControlStateChanged(int id) override;
    void Refresh();

    FormState& m_form;
    const EnvelopeControls& m_section;
    EnvelopeValues m_values;
    EnvelopeShape m_shape;
    bool m_pending = false;
    QElapsedTimer m_lastRefresh;
    int m_refreshes = 0;
};

// The envelope pictures' window: ENV1 above ENV2. Escape or the window's close button closes it, and the
// handler hears of it; a window deleted with the program says nothing, so that it opens again next time.
class CEnvelopeWnd : public QWidget {
public:
    explicit CEnvelopeWnd(FormState& form, QWidget* parent = nullptr);

    EnvelopeView* View(int index) const { return index == 0 ? m_env1 : m_env2; }
    void SetClosedHandler(std::function<void()> handler) { m_closed = std::move(handler); }
    // Closes it without telling the handler: the program closed it, not the user.
    void CloseQuietly();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    EnvelopeView* m_env1 = nullptr;
    EnvelopeView* m_env2 = nullptr;
    std::function<void()> m_closed;
};
