// The file watchdog: every 2 seconds, one attribute query of the state file;
// a refresh only when its date text differs from the last one stamped.

#include <QCheckBox>
#include <QLineEdit>
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

void mainController::watchDog() {
    // The modal file panel runs its own event loop, which still delivers the
    // timer; the tick waits until the panel has closed.
    if (m_panelOpen) return;
    // The client replaces its file by renaming a new one in, so a refresh
    // may fall into the moment without one (or find a directory there) and
    // leave the message in the path field. The file it could not read is
    // still the one watched: once that file has a new date text, its path
    // goes back into the field and the tick reads it; until then the tick
    // fails on the message as before.
    const bool lost = clientStatePath->text() == fileNotFoundMessage && !m_lastFailedPath.isEmpty();
    client_state_mod_date = podajDatePliku(lost ? m_lastFailedPath : clientStatePath->text());
    if (sameDate(client_state_mod_date, client_state_time_stamp)) return;
    if (lost && client_state_mod_date) clientStatePath->setText(m_lastFailedPath);
    policzIWstawDoTabelki();
    client_state_time_stamp = client_state_mod_date;
}

void mainController::watchDogButtonAction() {
    const int value = watchDogButton->isChecked() ? 1 : 0;
    watchDogButtonState = static_cast<std::int8_t>(value);
    m_settings.setEnableWatchdog(watchDogButtonState);
    if (watchDogButtonState != 0) {
        stoper(&mainController::watchDog, 2);
    } else if (m_stoper) {
        m_stoper->stop();
        m_stoper->deleteLater();
        m_stoper = nullptr;
    }
}

}  // namespace crunchwatch
