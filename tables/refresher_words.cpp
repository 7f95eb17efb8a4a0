// The refresher's reading of the client's own words: its event log, from
// the source chosen, read on from where the last read stopped, and the
// notices and scheduler messages, read again when their files changed.

#include <algorithm>
#include <utility>

#include "state/numbers.hpp"
#include "tables/date_value.hpp"

#include "state/journal.hpp"
#include "tables/refresher.hpp"

namespace crunchwatch {

// The open source and the log read from it so far. Made again when the
// folder, the options or the sources that exist change.
struct Refresher::WordsReader {
    std::string dataDir;
    std::vector<EventSource> sources;
    std::optional<EventSource> shown;
    std::optional<EventLogFile> output, errors;  // a log file, and the client's error stream beside it
    std::optional<JournalReader> journal;
    EventLog log;
    std::string problem;
    double sourcesListedAt = 0;  // asking the journal whether it holds the unit opens it: not on every tick
};

namespace {
constexpr double sourcesListedEvery = 30;
}  // namespace

namespace {

std::optional<EventSource> chosen(const std::vector<EventSource>& sources, std::optional<EventSourceKind> choice) {
    if (sources.empty()) return std::nullopt;
    if (choice)
        for (const EventSource& s : sources)
            if (s.kind == *choice) return s;
    return sources.front();
}

// The notices and messages, newest first: a notice by its create_time, a
// message by its reply's date; those without a moment last, in file order.
std::vector<std::size_t> newestFirst(const NoticeFiles& files) {
    const std::size_t n = files.notices.size();
    std::vector<std::pair<double, std::size_t>> keyed;
    keyed.reserve(n + files.messages.size());
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& t = files.notices[i].createTime;
        keyed.emplace_back(t.empty() ? -1e300 : readNumber(t), i);
    }
    for (std::size_t i = 0; i < files.messages.size(); ++i)
        keyed.emplace_back(files.messages[i].fileTime.value_or(-1e300), n + i);
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::size_t> order;
    order.reserve(keyed.size());
    for (const auto& k : keyed) order.push_back(k.second);
    return order;
}

std::string whyUnreadable(const std::string& path, ReadFailure why) {
    return "The event log " + path + " could not be read: " + readFailureReason(why) + ".";
}

}  // namespace

void Refresher::setWords(WordsOptions options) {
    // Where the log comes from decides what was read; how much of it is
    // shown or kept does not: showing older entries reads nothing again.
    const WordsOptions& was = m_wordsOptions;
    if (options.read != was.read || options.journalFile != was.journalFile || options.systemLog != was.systemLog ||
        options.choice != was.choice || options.journalFirstRead != was.journalFirstRead)
        m_words.reset();
    m_wordsOptions = std::move(options);
    m_wordsAsked = true;
}

bool Refresher::wordsChanged(const StatePath& path) {
    if (!m_wordsOptions.read) return false;
    if (m_wordsAsked) return true;
    const StatePath& folder = m_lastReadPath.empty() ? path : m_aroundPath;
    if (!m_words || m_words->dataDir != folder.rootDir()) return true;
    WordsReader& w = *m_words;
    if (w.output && w.output->changed()) return true;
    if (w.errors && w.errors->changed()) return true;
    if (w.journal && w.journal->changed()) return true;
    // A source may appear (the client started with another output): looked for now and then.
    if (nowSeconds() - w.sourcesListedAt >= sourcesListedEvery) return true;
    return noticeFilesStamp(folderOf(folder.rootDir())) != m_notices->stamp;
}

RefreshValuePtr Refresher::refreshWords(const StatePath& path) {
    if (!wordsChanged(path)) return nullptr;
    wordsStep(path);
    if (m_events == m_last->events && m_notices == m_last->notices) return nullptr;
    auto next = std::make_shared<RefreshValue>(*m_last);
    next->events = m_events;
    next->notices = m_notices;
    m_last = std::move(next);
    return m_last;
}

void Refresher::wordsStep(const StatePath& path) {
    m_wordsAsked = false;
    if (!m_wordsOptions.read) return;
    // The words of the folder whose state the tables show.
    const StatePath& folder = m_lastReadPath.empty() ? path : m_aroundPath;
    const std::string& dir = folder.rootDir();
    const double now = nowSeconds();
    const bool sameFolder = m_words && m_words->dataDir == dir;
    std::vector<EventSource> sources;
    bool listed = false;
    if (sameFolder && now - m_words->sourcesListedAt < sourcesListedEvery && now >= m_words->sourcesListedAt &&
        (m_words->output || m_words->journal))
        sources = m_words->sources;
    else
        sources = eventSources({dir, m_wordsOptions.journalFile, m_wordsOptions.systemLog, &folderOf(dir)}),
        listed = true;
    std::optional<EventSource> shown = chosen(sources, m_wordsOptions.choice);
    if (!sameFolder || m_words->shown != shown) {
        auto fresh = std::make_shared<WordsReader>();
        fresh->dataDir = dir;
        fresh->shown = shown;
        if (shown && shown->kind == EventSourceKind::journal) {
            fresh->journal.emplace(m_wordsOptions.journalFile, clientUnit, m_wordsOptions.journalFirstRead);
        } else if (shown && shown->kind == EventSourceKind::clientFile) {
            const auto in = sharedFolderOf(dir);
            fresh->output.emplace("stdoutdae.txt", "stdoutdae.old", EventSeverity::untold, in);
            fresh->errors.emplace("stderrdae.txt", "stderrdae.old", EventSeverity::error, in);
        } else if (shown) {
            // The system's log is this machine's file, wherever the data directory is.
            fresh->output.emplace(shown->path, std::nullopt);
        }
        m_words = std::move(fresh);
    }
    WordsReader& w = *m_words;
    if (listed) w.sourcesListedAt = now;
    w.sources = std::move(sources);
    w.problem.clear();
    if (w.output) {
        ReadFailure why{};
        if (!w.output->readOn(w.log, why)) w.problem = whyUnreadable(w.output->shownPath(), why);
        ReadFailure ignored{};
        if (w.errors && w.errors->exists()) w.errors->readOn(w.log, ignored);
    } else if (w.journal) {
        const JournalOutcome outcome = w.journal->readOn(w.log);
        if (outcome.state == JournalState::noPermission) w.problem = journalGroupAdvice;
        else if (outcome.state == JournalState::unavailable)
            w.problem = "The journal could not be read: " + outcome.detail;
    } else if (m_wordsOptions.journalFile) {
        w.problem = "No event log was found: neither stdoutdae.txt in " + dir + " nor entries of " + clientUnit +
                    " in the journal file " + *m_wordsOptions.journalFile + " (missing, unreadable or without them).";
    } else {
        w.problem = "No event log was found: the client writes it to stdoutdae.txt in " + dir +
                    " when started with --redirectio, and otherwise to the system journal.";
    }
    w.log.keepNewest(m_wordsOptions.heldBytes);

    // A value only when something changed: a view resets its rows for a new one.
    const std::size_t n = w.log.size(), keep = m_wordsOptions.shownEntries;
    const std::size_t firstShown = keep == 0 || n <= keep ? 0 : n - keep;
    const EventLogValue& before = *m_events;
    const auto lastText = [](const EventLog& log) {
        return log.size() == 0 ? nullptr : log.entry(log.size() - 1).text.data();
    };
    if (before.log.size() == n && lastText(before.log) == lastText(w.log) && before.firstShown == firstShown &&
        before.problem == w.problem && before.sources == w.sources && before.shown == w.shown)
        return noticesStep(folderOf(dir));
    auto events = std::make_shared<EventLogValue>();
    events->sources = w.sources;
    events->shown = w.shown;
    events->problem = w.problem;
    events->log = w.log;
    events->firstShown = firstShown;
    m_events = std::move(events);
    noticesStep(folderOf(dir));
}

void Refresher::noticesStep(const Folder& folder) {
    std::string stamp = noticeFilesStamp(folder);
    if (stamp == m_notices->stamp && !m_notices->stamp.empty()) return;
    auto notices = std::make_shared<NoticesValue>();
    notices->files = readNoticeFiles(folder);
    notices->order = newestFirst(notices->files);
    notices->stamp = std::move(stamp);
    m_notices = std::move(notices);
}

}  // namespace crunchwatch
