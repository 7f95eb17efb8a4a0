#pragma once
// The window's reading, on a thread of its own: every file system call of a
// refresh (the state file, the history, the preferences, the client's event
// log and notices) and the watchdog tick's attribute queries run there, so
// a slow disk or a hung network mount never freezes the window. The window's
// thread hands it one job at a time and installs what comes back.

#include <functional>
#include <memory>

#include <QObject>

#include "state/paths.hpp"
#include "tables/refresh_value.hpp"
#include "tables/refresher.hpp"

namespace crunchwatch {

// What one job does, decided on the window's thread when it starts.
struct RefreshJob {
    StatePath path;
    // False while the path field shows the message instead of a path: the
    // refresh then fails without reading (but for a tick that finds the
    // file back).
    bool fileNamed = true;
    // Start-up's: the first date reading and the preferences, then a refresh.
    bool startUp = false;
    // The watchdog's: the file's date read and compared with `stamp`; a
    // refresh only when they differ, or, when they do not, when the client's
    // lock or a running task's checkpoint file changed.
    bool tick = false;
    // Update's and Open's: a refresh in any case.
    bool refresh = false;
    DateText stamp;  // client_state_time_stamp when the job started
    // How the client's event log and notices are read from now on, when
    // that changed (taken before anything is read).
    std::optional<WordsOptions> words;
    // The event log and the notices read again even when the state file is
    // not (another source chosen). A tick that reads no state file reads on
    // in them too.
    bool readWords = false;
    AlertThresholds alertLimits;  // the alert rules' thresholds, from the settings
};

struct RefreshOutcome {
    RefreshJob job;
    DateText reading;       // the state file's date text (start-up and ticks)
    bool fileRead = false;  // whether the state file itself was tried
    RefreshValuePtr value;  // the refresh's value; null when a tick saw no change
    // The value is the last one with only the event log and the notices read
    // on: the state file was neither read nor tried.
    bool wordsOnly = false;
};

class RefreshRunner final : public QObject {
    Q_OBJECT

public:
    // `resumeFrom`, when given, is the value shown: a runner that replaces
    // one whose reading hangs goes on from it (its history, preferences and
    // the rows a failed read keeps).
    explicit RefreshRunner(std::optional<std::string> dateFormat, RefreshValuePtr resumeFrom = nullptr,
                           QObject* parent = nullptr);
    // A job still running is left to finish on its own (a read hung on a
    // dead mount must not hold the program up); its outcome is dropped.
    ~RefreshRunner() override;

    // Starts `job` on the worker. One at a time: the caller waits for
    // finished() before the next.
    void start(RefreshJob job);
    // Tests hold a job back with this, run on the worker before each job.
    void setPauseForTesting(std::function<void()> pause);

signals:
    // On the window's thread, once the job is done.
    void finished(const crunchwatch::RefreshOutcome& outcome);

private:
    void deliver();

    struct Worker;
    std::shared_ptr<Worker> m_worker;
};

}  // namespace crunchwatch
