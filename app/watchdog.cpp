// The file watchdog: every 2 seconds, one attribute query of the state file
// (on the worker); a refresh when its date text differs from the last one
// stamped. When it does not, the client's lock and the running tasks'
// checkpoint files are asked about (one query each): a client that stopped
// and a checkpoint written leave the state file as it was. Nor does a line
// the client logs or a notice it fetches: when nothing else changed, the
// event log is read on from where it stopped and the notices read again if
// their files changed, and only the views that show them get the new value.

#include <QCheckBox>
#include <QTimer>

#include "app/main_controller.hpp"

namespace crunchwatch {

void mainController::stoper(void (mainController::*co)(), int seconds) {
    // Two timers would tick twice as often and never stop with the check
    // box: the one held is replaced.
    if (m_stoper) {
        m_stoper->stop();
        m_stoper->deleteLater();
    }
    m_stoper = new QTimer(this);
    m_stoper->setInterval(m_intervalOverrideMs > 0 ? m_intervalOverrideMs : seconds * 1000);
    connect(m_stoper, &QTimer::timeout, this, [this, co] { (this->*co)(); });
    m_stoper->start();
}

bool mainController::watchdogRunning() const { return m_stoper && m_stoper->isActive(); }
int mainController::watchdogIntervalMs() const { return m_stoper ? m_stoper->interval() : 0; }

// The tick's reading and comparison run on the worker, with the stamp as it
// is when the job starts. The client replaces its file by renaming a new one
// in, so a refresh may fall into the moment without one and leave the
// message in the path field; the file it could not read is still the one
// watched, and once it has a new date text the tick reads it again under
// its own path.
void mainController::watchDog() {
    // The modal file panel runs its own event loop, which still delivers the
    // timer; the tick waits until the panel has closed.
    if (m_panelOpen) return;
    ask(askTick);
}

void mainController::watchDogButtonAction() {
    const int value = watchDogButton->isChecked() ? 1 : 0;
    watchDogButtonState = static_cast<std::int8_t>(value);
    m_settings.setEnableWatchdog(watchDogButtonState);
    if (watchDogButtonState != 0) {
        stoper(&mainController::watchDog, 2);
    } else {
        if (m_stoper) {
            m_stoper->stop();
            m_stoper->deleteLater();
            m_stoper = nullptr;
        }
        m_asked &= ~unsigned{askTick};  // a tick asked for before does not run after
    }
}

}  // namespace crunchwatch
