// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

// A group box as a dialog template draws one: an etched frame whose top line runs through the middle of
// the title. It only frames; the controls it surrounds are its siblings, placed on their own.
class GroupFrame : public QWidget {
public:
    GroupFrame(const QString& title, QWidget* parent = nullptr);

    QString Title() const { return m_title; }
    void SetTitle(const QString& title);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
};
