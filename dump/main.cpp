// crunchwatch-dump: one refresh cycle on a state file, printed as text tables,
// JSON or Prometheus metrics, for machines without a display, for scripts,
// for monitoring many hosts, and for checking the monitor against a file by eye.

#include <cmath>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <sstream>
#include <string_view>
#include <vector>

#include "state/atomic_file.hpp"
#include "dump/alerts_report.hpp"
#include "dump/file_time.hpp"
#include "dump/hosts_report.hpp"
#include "dump/metrics_report.hpp"
#include "dump/report.hpp"
#include "state/file_stat.hpp"
#include "state/paths.hpp"
#include "state/vector_level.hpp"
#include "tables/date_value.hpp"


namespace {

constexpr std::string_view usage =
    "usage: crunchwatch-dump [--json | --prometheus | --prometheus-tasks] [--output FILE]\n"
    "                        [--now SECONDS] [--date-format FORMAT] [--event-source SOURCE]\n"
    "                        [--event-log-lines N] [--journal-file FILE] STATE_FILE\n"
    "       crunchwatch-dump [OPTION]... [NAME=]SOURCE [NAME=]SOURCE...";

constexpr std::string_view help =
    "Shows what the crunchwatch window would show for a BOINC client_state.xml,\n"
    "reading the preferences, the client's other files beside it and the sizes\n"
    "of its files on disk from the same directory.\n\n"
    "  --json                one JSON object instead of text tables\n"
    "  --prometheus          Prometheus metrics (text format 0.0.4) instead: the\n"
    "                        state file, the host, its disk and every project;\n"
    "                        written even when the file cannot be read\n"
    "                        (readable 0, exit 1)\n"
    "  --prometheus-tasks    the same and the metrics of every task (5 to 6\n"
    "                        series per task)\n"
    "  --output FILE         write to FILE instead of stdout, atomically: a reader\n"
    "                        sees the old file or the new, never a part; the old\n"
    "                        file stays when the new one cannot be written, and\n"
    "                        when the state file cannot be read (but for metrics)\n"
    "  --now SECONDS         the current moment for the completion estimates and\n"
    "                        the alerts (seconds since 1970 UTC; default: now)\n"
    "  --date-format FORMAT  strftime format of every date (default: %x %X)\n"
    "  --event-source SOURCE\n"
    "                        the client's event log from file (stdoutdae.txt),\n"
    "                        journal or syslog (/var/log/boinc.log) when it exists\n"
    "                        (default: the first of these that exists)\n"
    "  --event-log-lines N   the newest N entries of the event log (default: 1000;\n"
    "                        0: all)\n"
    "  --journal-file FILE   read the event log from this journal file instead of\n"
    "                        the system's journal\n"
    "  --help, --version\n\n"
    "Several sources (state files or data directories) are reported together,\n"
    "each under its host's name: NAME=SOURCE, or the name the client gives the\n"
    "machine, else the folder's; text reports one after another, one JSON\n"
    "object {\"hosts\": [...]}, or one exposition with a host label.\n\n"
    "Exit status: 0 the file was read (every file, of several), 1 it could not\n"
    "be read (or the output not written), 2 usage error.\n";

std::optional<double> parseSeconds(std::string_view text) {
    double v = 0;
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;
    const auto [last, ec] = std::from_chars(begin, end, v, std::chars_format::general);
    // "nan" and "inf" read as numbers, but name no moment.
    if (ec != std::errc{} || last != end || begin == end || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<std::size_t> parseCount(std::string_view text) {
    std::size_t v = 0;
    const auto [last, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc{} || last != text.data() + text.size() || text.empty()) return std::nullopt;
    return v;
}

enum class Format { Text, Json, Prometheus, PrometheusTasks };

int usageError(std::string_view why) {
    std::cerr << "crunchwatch-dump: " << why << '\n' << usage << '\n';
    return 2;
}

}  // namespace

namespace {

// The output handed over (the file put in place, or stdout flushed) and the
// exit status: 0 when every file was read and all was written.
int finished(std::optional<crunchwatch::AtomicFileWriter>& file, bool allRead) {
    if (file) {
        if (const auto failure = file->commit()) {
            std::cerr << "crunchwatch-dump: " << *failure << '\n';
            return 1;
        }
        return allRead ? 0 : 1;
    }
    std::cout.flush();
    return std::cout && allRead ? 0 : 1;
}

// The path a source is read at: a data directory's state file, made absolute
// (the preferences are found beside it).
std::string readPathOf(const std::string& given) {
    std::error_code ec;
    const std::string named = crunchwatch::stateFileOfArgument(given);
    const std::string absolute = named.empty() ? std::string() : std::filesystem::absolute(named, ec).string();
    return ec ? named : absolute;
}

int dumpSeveral(std::vector<crunchwatch::HostSource>& sources, Format format, const std::optional<std::string>& output,
                std::optional<double> now, const std::optional<std::string>& dateFormat,
                crunchwatch::WordsOptions words) {
    const bool metrics = format == Format::Prometheus || format == Format::PrometheusTasks;
    words.journalFirstRead = words.shownEntries;
    std::vector<crunchwatch::RefreshValuePtr> values;
    std::vector<const crunchwatch::Report*> read;
    std::vector<std::optional<double>> modified;
    for (const auto& s : sources) {
        const std::string path = readPathOf(s.given);
        modified.push_back(metrics ? crunchwatch::modificationTime(path) : std::nullopt);
        crunchwatch::RefreshValuePtr value = crunchwatch::readReport(path, words);
        if (now) value = crunchwatch::withAlertsAt(value, *now);
        read.push_back(value->status ? value.get() : nullptr);
        values.push_back(std::move(value));
    }
    crunchwatch::nameHosts(sources, read);
    std::optional<crunchwatch::AtomicFileWriter> file;
    if (output) file.emplace(*output);
    std::ostream& out = file ? file->stream() : std::cout;
    const double moment = now.value_or(crunchwatch::nowSeconds());
    const crunchwatch::ReportOptions options{{}, moment, dateFormat, 100, words.choice};
    bool all = true;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (read[i]) continue;
        all = false;
        std::cerr << "Error: file not found!\n"
                  << "crunchwatch-dump: could not read " << sources[i].given << " (" << sources[i].name
                  << "): " << values[i]->status.description() << '\n';
    }
    if (metrics) {
        std::vector<std::string> expositions;
        for (std::size_t i = 0; i < sources.size(); ++i) {
            std::ostringstream one;
            const crunchwatch::MetricsOptions m{sources[i].given, modified[i], moment,
                                                 format == Format::PrometheusTasks};
            crunchwatch::writePrometheusReport(one, read[i], m);
            expositions.push_back(crunchwatch::withHostLabel(one.str(), sources[i].name));
        }
        crunchwatch::writeFamiliesTogether(out, expositions);
    } else if (format == Format::Json) {
        std::vector<crunchwatch::HostJson> hosts;
        for (std::size_t i = 0; i < sources.size(); ++i)
            hosts.push_back({&sources[i], read[i], read[i] ? std::string() : values[i]->status.description()});
        crunchwatch::writeHostsJson(out, hosts, options);
    } else {
        for (std::size_t i = 0; i < sources.size(); ++i) {
            out << (i ? "\n" : "") << "== " << sources[i].name << " (" << sources[i].given << ")\n";
            if (!read[i]) {
                out << "Error: file not found!\n" << values[i]->status.description() << '\n';
                continue;
            }
            crunchwatch::ReportOptions own = options;
            own.stateFileAsGiven = sources[i].given;
            crunchwatch::writeTextReport(out, *read[i], own);
        }
    }
    return finished(file, all);
}

}  // namespace

int main(int argc, char** argv) {
    // Dates follow the user's locale as in the window; numbers never do.
    std::setlocale(LC_ALL, "");
    // Nothing here writes through C's stdio: the standard streams keep their
    // own buffers, rather than hand every character to stdio.
    std::ios_base::sync_with_stdio(false);
    Format format = Format::Text;
    std::optional<std::string> output;
    std::optional<double> now;
    std::optional<std::string> dateFormat;
    std::optional<std::string> stateFile;
    std::vector<std::string> sourcesGiven;
    crunchwatch::WordsOptions words;
    words.shownEntries = 1000;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << usage << "\n\n" << help;
            return 0;
        }
        if (arg == "--version") {
            std::cout << "crunchwatch-dump " << CRUNCHWATCH_VERSION << '\n'
                      << "vector: " << crunchwatch::vectorLevelName(crunchwatch::vectorLevel()) << '\n';
            return 0;
        }
        if (arg == "--json" || arg == "--prometheus" || arg == "--prometheus-tasks") {
            const Format chosen = arg == "--json"         ? Format::Json
                                  : arg == "--prometheus" ? Format::Prometheus
                                                          : Format::PrometheusTasks;
            // --prometheus-tasks holds --prometheus; JSON and metrics exclude each other.
            if (format != Format::Text && (format == Format::Json) != (chosen == Format::Json))
                return usageError("choose one of --json and --prometheus");
            if (format != Format::PrometheusTasks) format = chosen;
        } else if (arg == "--now" || arg == "--date-format" || arg == "--output") {
            if (i + 1 >= argc) return usageError(std::string(arg) + " needs a value");
            const std::string_view value = argv[++i];
            if (arg == "--date-format") {
                dateFormat = std::string(value);
            } else if (arg == "--output") {
                if (value.empty()) return usageError("--output needs a file name");
                output = std::string(value);
            } else if (!(now = parseSeconds(value))) {
                return usageError("--now takes a number of seconds");
            }
        } else if (arg == "--event-source" || arg == "--event-log-lines" || arg == "--journal-file") {
            if (i + 1 >= argc) return usageError(std::string(arg) + " needs a value");
            const std::string_view value = argv[++i];
            if (arg == "--event-source") {
                if (!(words.choice = crunchwatch::sourceOfId(value)))
                    return usageError("--event-source takes file, journal or syslog");
            } else if (arg == "--journal-file") {
                if (value.empty()) return usageError("--journal-file needs a file name");
                words.journalFile = std::string(value);
            } else if (const auto n = parseCount(value)) {
                words.shownEntries = *n;
            } else {
                return usageError("--event-log-lines takes a number of entries (0: all)");
            }
        } else if (arg == "--") {
            while (++i < argc) sourcesGiven.emplace_back(argv[i]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + std::string(arg));
        } else {
            sourcesGiven.emplace_back(arg);
        }
    }
    if (sourcesGiven.empty()) return usageError("no state file given");
    std::vector<crunchwatch::HostSource> sources;
    for (const std::string& given : sourcesGiven) {
        // A file or folder of that very name is a path, "=" or not.
        sources.push_back(crunchwatch::statFile(given) ? crunchwatch::HostSource{{}, given}
                                                       : crunchwatch::hostSourceOf(given));
        for (std::size_t k = 0; k + 1 < sources.size(); ++k)
            if (crunchwatch::stateFileOfArgument(sources[k].given) ==
                crunchwatch::stateFileOfArgument(sources.back().given))
                return usageError("the same state file twice: " + sources.back().given);
    }
    if (sources.size() > 1) return dumpSeveral(sources, format, output, now, dateFormat, words);
    stateFile = sources.front().given;

    // The preferences file is found beside the state file, which needs a full path.
    std::error_code ec;
    // A directory given is the client's data directory: its state file is meant.
    const std::string named = crunchwatch::stateFileOfArgument(*stateFile);
    const std::string absolute = named.empty() ? std::string() : std::filesystem::absolute(named, ec).string();
    const std::string path = ec ? named : absolute;
    const bool metrics = format == Format::Prometheus || format == Format::PrometheusTasks;
    // The date is taken before the reading: a file rewritten in between shows
    // as changed again at the next run, never as older than what was read.
    const std::optional<double> modified = metrics ? crunchwatch::modificationTime(path) : std::nullopt;
    // One run shows the newest entries only: reading the whole system journal
    // for them (tens of megabytes, every minute under the metrics timer) is waste.
    words.journalFirstRead = words.shownEntries;
    crunchwatch::RefreshValuePtr value = crunchwatch::readReport(path, words);
    // A moment asked for rules the alerts as it rules the completion times.
    if (now) value = crunchwatch::withAlertsAt(value, *now);
    const crunchwatch::Report& report = *value;
    const bool read = static_cast<bool>(report.status);
    const auto reportFailure = [&] {
        std::cerr << "Error: file not found!\n"
                  << "crunchwatch-dump: could not read " << named << ": " << report.status.description() << '\n';
    };
    // Metrics are written whatever happened: the failure is one of them.
    if (!read && !metrics) {
        reportFailure();
        return 1;
    }
    // The output file is written as the report is made, into a temporary
    // file that replaces it only once whole.
    std::optional<crunchwatch::AtomicFileWriter> file;
    if (output) file.emplace(*output);
    std::ostream& out = file ? file->stream() : std::cout;
    const double moment = now.value_or(crunchwatch::nowSeconds());
    const crunchwatch::ReportOptions options{*stateFile, moment, dateFormat, 100, words.choice};
    if (metrics) {
        const crunchwatch::MetricsOptions m{*stateFile, modified, moment, format == Format::PrometheusTasks};
        crunchwatch::writePrometheusReport(out, read ? &report : nullptr, m);
    } else if (format == Format::Json) {
        crunchwatch::writeJsonReport(out, report, options);
    } else {
        crunchwatch::writeTextReport(out, report, options);
    }
    if (!read) reportFailure();
    return finished(file, read);
}
