// crunchwatch-dump: one refresh cycle on a state file, printed as text tables
// or JSON, for machines without a display, for scripts, and for checking the
// monitor against a file by eye.

#include <charconv>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "dump/report.hpp"


namespace {

constexpr std::string_view usage =
    "usage: crunchwatch-dump [--json] [--now SECONDS] [--date-format FORMAT] STATE_FILE";

constexpr std::string_view help =
    "Shows what the crunchwatch window would show for a BOINC client_state.xml,\n"
    "reading global_prefs.xml from the same directory.\n\n"
    "  --json                one JSON object instead of text tables\n"
    "  --now SECONDS         the current moment for the completion estimates\n"
    "                        (seconds since 1970 UTC; default: now)\n"
    "  --date-format FORMAT  strftime format of every date (default: %x %X)\n"
    "  --help, --version\n\n"
    "Exit status: 0 the file was read, 1 it could not be read, 2 usage error.\n";

std::optional<double> parseSeconds(std::string_view text) {
    double v = 0;
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;
    const auto [last, ec] = std::from_chars(begin, end, v, std::chars_format::general);
    if (ec != std::errc{} || last != end || begin == end) return std::nullopt;
    return v;
}

int usageError(std::string_view why) {
    std::cerr << "crunchwatch-dump: " << why << '\n' << usage << '\n';
    return 2;
}

double realNow() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
    // Dates follow the user's locale as in the window; numbers never do.
    std::setlocale(LC_ALL, "");
    bool json = false;
    std::optional<double> now;
    std::optional<std::string> dateFormat;
    std::optional<std::string> stateFile;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << usage << "\n\n" << help;
            return 0;
        }
        if (arg == "--version") {
            std::cout << "crunchwatch-dump " << CRUNCHWATCH_VERSION << '\n';
            return 0;
        }
        if (arg == "--json") {
            json = true;
        } else if (arg == "--now" || arg == "--date-format") {
            if (i + 1 >= argc) return usageError(std::string(arg) + " needs a value");
            const std::string_view value = argv[++i];
            if (arg == "--date-format") {
                dateFormat = std::string(value);
            } else if (!(now = parseSeconds(value))) {
                return usageError("--now takes a number of seconds");
            }
        } else if (arg == "--") {
            if (i + 2 != argc || stateFile) return usageError("expected one state file");
            stateFile = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + std::string(arg));
        } else {
            if (stateFile) return usageError("expected one state file");
            stateFile = std::string(arg);
        }
    }
    if (!stateFile) return usageError("no state file given");

    // The preferences file is found beside the state file, which needs a full path.
    std::error_code ec;
    const std::string absolute =
        stateFile->empty() ? std::string() : std::filesystem::absolute(*stateFile, ec).string();
    crunchwatch::ReadFailure why{};
    const auto snapshot = crunchwatch::takeSnapshot(ec ? *stateFile : absolute, why);
    if (!snapshot) {
        std::cerr << "Error: file not found!\n"
                  << "crunchwatch-dump: could not read " << *stateFile << ": " << crunchwatch::readFailureReason(why) << '\n';
        return 1;
    }
    const crunchwatch::ReportOptions options{*stateFile, now.value_or(realNow()), dateFormat, 100};
    if (json) crunchwatch::writeJsonReport(std::cout, *snapshot, options);
    else crunchwatch::writeTextReport(std::cout, *snapshot, options);
    std::cout.flush();
    return std::cout ? 0 : 1;
}
