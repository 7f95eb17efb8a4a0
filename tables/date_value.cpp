#include "tables/date_value.hpp"

#include <chrono>
#include <cmath>
#include <ctime>
#include <limits>
#include <string_view>

namespace crunchwatch {

double nowSeconds() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}
namespace {

// Length of the strftime conversion that starts at fmt[i] == '%': the '%',
// glibc's flags and width, an E or O modifier, and the conversion character.
std::size_t conversionLength(std::string_view fmt, std::size_t i) {
    std::size_t j = i + 1;
    while (j < fmt.size() && (fmt[j] == '_' || fmt[j] == '-' || fmt[j] == '0' || fmt[j] == '^' || fmt[j] == '#'))
        ++j;
    while (j < fmt.size() && fmt[j] >= '0' && fmt[j] <= '9') ++j;
    if (j < fmt.size() && (fmt[j] == 'E' || fmt[j] == 'O')) ++j;
    return (j < fmt.size() ? j + 1 : fmt.size()) - i;
}

// Cuts text to at most `limit` bytes without splitting a UTF-8 sequence.
void cutTo(std::string& text, std::size_t limit) {
    if (text.size() <= limit) return;
    std::size_t n = limit;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    text.resize(n);
}

}  // namespace

std::optional<std::string> formatDaty(double moment, const std::optional<std::string>& format) {
    if (!std::isfinite(moment)) return std::nullopt;
    const double floored = std::floor(moment);
    // time_t is 64 bits here; beyond +-2^62 the conversion to it is not exact.
    constexpr double bound = 4.6e18;
    if (floored <= -bound || floored >= bound) return std::nullopt;
    const auto t = static_cast<std::time_t>(floored);
    std::tm tm{};
    if (!::localtime_r(&t, &tm)) return std::nullopt;  // year beyond an int

    // The format goes to strftime one piece at a time (a run of literal text,
    // or one conversion), so that no piece can overflow the buffer and the
    // whole is cut at a fixed length however many conversions it holds.
    const std::string_view fmt = format ? std::string_view(*format) : std::string_view(defaultDateFormat);
    std::string out;
    char buf[maxDateTextLength + 64];
    std::string piece;
    for (std::size_t i = 0; i < fmt.size() && out.size() < maxDateTextLength;) {
        const std::size_t len = fmt[i] == '%' ? conversionLength(fmt, i) : std::min(fmt.find('%', i), fmt.size()) - i;
        piece.assign(fmt.substr(i, len));
        i += len;
        if (piece[0] != '%') {
            out += piece;
            continue;
        }
        // 0 means the piece wrote nothing or would not fit (a huge width):
        // either way it adds nothing.
        const std::size_t n = std::strftime(buf, sizeof buf, piece.c_str(), &tm);
        out.append(buf, n);
    }
    cutTo(out, maxDateTextLength);
    return out;
}

}  // namespace crunchwatch
