// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtClock.h"

#include <QTimer>

namespace {

class QtTimer : public Timer {
public:
    explicit QtTimer(std::function<void()> onTimeout) {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [fire = std::move(onTimeout)] { fire(); });
    }
    void Start(std::chrono::milliseconds delay) override { m_timer.start(delay); }
    void Stop() override { m_timer.stop(); }
    bool IsActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

}  // namespace

std::unique_ptr<Timer> QtClock::CreateTimer(std::function<void()> onTimeout) {
    return std::make_unique<QtTimer>(std::move(onTimeout));
}
