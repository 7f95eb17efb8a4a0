#include "app/refresh_runner.hpp"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "tables/refresher.hpp"

namespace crunchwatch {
namespace {

// One job, on the worker: the reading it asks for, in the order the window
// has always done it (the date before the file, the file before the
// preferences).
RefreshOutcome runJob(Refresher& refresher, RefreshJob job) {
    RefreshOutcome out{job, {}, false, nullptr, false};
    const StatePath& path = job.path;
    if (job.words) refresher.setWords(*job.words);
    refresher.setAlertThresholds(job.alertLimits);
    if (job.startUp) {
        out.reading = fileDateText(path.file());
        refresher.readPreferences(path);
        out.fileRead = true;
        out.value = refresher.refresh(path);
        return out;
    }
    bool refresh = job.refresh;
    bool named = job.fileNamed;
    if (job.tick) {
        out.reading = fileDateText(path.file());
        if (!sameDate(out.reading, job.stamp)) {
            refresh = true;
            // The file the field stood for is back under its name: read it.
            named = named || out.reading.has_value();
        } else if (!refresh && refresher.surroundingsChanged(path)) {
            // A client that stops leaves its file as it was, and a running
            // task's checkpoint lands in its slot without the state file
            // being rewritten: only the lock or the slot tells.
            refresh = true;
        }
    }
    if (!refresh) {
        // The client writes its log and fetches notices without rewriting
        // its state file: new lines are shown within a tick all the same.
        if (job.tick || job.readWords) {
            out.value = refresher.refreshWords(path);
            // Time alone begins some alerts (a deadline passes, a client
            // stays silent): looked at now and then with nothing read.
            if (!out.value && job.tick) out.value = refresher.refreshAlerts();
            out.wordsOnly = true;
        }
        return out;
    }
    out.fileRead = named;
    out.value = named ? refresher.refresh(path) : refresher.refreshWithoutFile(path);
    return out;
}

}  // namespace

struct RefreshRunner::Worker {
    explicit Worker(std::optional<std::string> dateFormat) : refresher(std::move(dateFormat)) {}

    std::mutex mutex;
    std::condition_variable wake;
    std::optional<RefreshJob> job;
    std::optional<RefreshOutcome> done;  // handed over under the lock, not inside the posted event
    bool busy = false;
    bool stopping = false;
    RefreshRunner* receiver = nullptr;  // null once the runner is gone
    std::function<void()> pause;        // tests only
    Refresher refresher;                // used on the worker's thread only
    std::thread thread;
};

RefreshRunner::RefreshRunner(std::optional<std::string> dateFormat, RefreshValuePtr resumeFrom, QObject* parent)
    : QObject(parent), m_worker(std::make_shared<Worker>(std::move(dateFormat))) {
    if (resumeFrom) m_worker->refresher.resume(resumeFrom);
    m_worker->receiver = this;
    // The thread holds the worker too: it outlives the runner when a job hangs.
    m_worker->thread = std::thread([w = m_worker] {
        for (;;) {
            RefreshJob job;
            std::function<void()> pause;
            {
                std::unique_lock lock(w->mutex);
                w->wake.wait(lock, [&] { return w->job || w->stopping; });
                if (w->stopping) return;
                job = std::move(*w->job);
                w->job.reset();
                w->busy = true;
                pause = w->pause;
            }
            if (pause) pause();
            RefreshOutcome outcome = runJob(w->refresher, std::move(job));
            std::lock_guard lock(w->mutex);
            w->busy = false;
            if (!w->receiver) return;
            w->done = std::move(outcome);
            // A wake-up posted to the runner, dropped with it if it goes first;
            // the outcome itself is taken under the lock.
            RefreshRunner* receiver = w->receiver;
            QMetaObject::invokeMethod(receiver, [receiver] { receiver->deliver(); }, Qt::QueuedConnection);
        }
    });
}

RefreshRunner::~RefreshRunner() {
    bool busy = false;
    {
        std::lock_guard lock(m_worker->mutex);
        m_worker->receiver = nullptr;
        m_worker->stopping = true;
        busy = m_worker->busy;
    }
    m_worker->wake.notify_one();
    if (busy) m_worker->thread.detach();
    else m_worker->thread.join();
}

void RefreshRunner::deliver() {
    std::optional<RefreshOutcome> outcome;
    {
        std::lock_guard lock(m_worker->mutex);
        outcome.swap(m_worker->done);
    }
    if (outcome) emit finished(*outcome);
}

void RefreshRunner::setPauseForTesting(std::function<void()> pause) {
    std::lock_guard lock(m_worker->mutex);
    m_worker->pause = std::move(pause);
}

void RefreshRunner::start(RefreshJob job) {
    {
        std::lock_guard lock(m_worker->mutex);
        m_worker->job = std::move(job);
    }
    m_worker->wake.notify_one();
}

}  // namespace crunchwatch
