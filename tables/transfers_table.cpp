#include "tables/transfers_table.hpp"

#include <cmath>

#include "state/numbers.hpp"
#include "tables/duration.hpp"
#include "tables/format.hpp"
#include "tables/project_status.hpp"

namespace crunchwatch {
namespace {

using Row = TransferRow;

Cell textCell(MaybeText v) { return v ? Cell::ofText(std::string(*v)) : Cell::empty(); }
SortValue textSort(MaybeText v) { return v ? SortValue::ofText(*v) : SortValue::none(); }
SortValue numberSort(std::optional<double> n) { return n ? SortValue::ofNumber(*n) : SortValue::none(); }
std::optional<double> numberOf(MaybeText v) { return v ? std::optional<double>(readNumber(v)) : std::nullopt; }

Cell projectCell(const Row& r, double) { return textCell(r.projectName); }
SortValue projectSort(const Row& r, double) { return textSort(r.projectName); }
Cell nameCell(const Row& r, double) { return textCell(r.transfer.name); }
SortValue nameSort(const Row& r, double) { return textSort(r.transfer.name); }

Cell directionCell(const Row& r, double) { return Cell::ofText(r.transfer.upload() ? "Upload" : "Download"); }
SortValue directionSort(const Row& r, double) { return SortValue::ofNumber(r.transfer.upload() ? 1 : 0); }

Cell sizeCell(const Row& r, double) {
    const auto n = numberOf(r.transfer.nbytes);
    return n ? Cell::ofText(bytesForPeople(*n), *n) : Cell::empty();
}
SortValue sizeSort(const Row& r, double) { return numberSort(numberOf(r.transfer.nbytes)); }

Cell doneCell(const Row& r, double) {
    const auto done = bytesDone(r);
    if (!done) return Cell::empty();
    std::string text = bytesForPeople(*done);
    const double size = readNumber(r.transfer.nbytes);
    if (size > 0 && std::isfinite(*done / size)) text += " (" + formatFixed(*done / size * 100.0, 1) + "%)";
    return Cell::ofText(std::move(text), *done);
}
SortValue doneSort(const Row& r, double) { return numberSort(bytesDone(r)); }

Cell retriesCell(const Row& r, double) {
    return r.transfer.num_retries ? Cell::ofText(std::string(*r.transfer.num_retries), readNumber(r.transfer.num_retries))
                                   : Cell::empty();
}
SortValue retriesSort(const Row& r, double) { return numberSort(numberOf(r.transfer.num_retries)); }
Tone retriesTone(const Row& r, double) { return readNumber(r.transfer.num_retries) >= 5 ? Tone::atRisk : Tone::plain; }

Cell nextCell(const Row& r, double now) {
    auto text = nextTryText(r, now);
    return text ? Cell::ofText(std::move(*text), readNumber(r.transfer.next_request_time)) : Cell::empty();
}
SortValue nextSort(const Row& r, double) { return numberSort(numberOf(r.transfer.next_request_time)); }
std::optional<std::string> nextTip(const Row& r, double) {
    if (!r.transfer.next_request_time) return std::nullopt;
    return "The client tries again at " + std::string(*r.transfer.next_request_time) +
           " (next_request_time, seconds since 1970); it backs off longer after each failure, up to 6 hours";
}

Cell firstCell(const Row& r, double) {
    const auto at = numberOf(r.transfer.first_request_time);
    return at ? Cell::ofDate(*at) : Cell::empty();
}
SortValue firstSort(const Row& r, double) { return numberSort(numberOf(r.transfer.first_request_time)); }

Cell spentCell(const Row& r, double) {
    const auto s = numberOf(r.transfer.time_so_far);
    if (!s) return Cell::empty();
    const auto text = czasHMSzSekund(*s);
    return text ? Cell::ofText(*text, *s) : Cell::empty();
}
SortValue spentSort(const Row& r, double) { return numberSort(numberOf(r.transfer.time_so_far)); }

Cell givesUpCell(const Row& r, double) {
    const auto at = giveUpMoment(r);
    return at ? Cell::ofDate(*at) : Cell::empty();
}
SortValue givesUpSort(const Row& r, double) { return numberSort(giveUpMoment(r)); }
std::optional<std::string> givesUpTip(const Row&, double) {
    return std::string("The client gives the transfer up 90 days after its first try, unless it was told otherwise "
                       "(a project or the client's configuration may set another limit)");
}
Tone givesUpTone(const Row& r, double now) {
    const auto at = giveUpMoment(r);
    return at && *at - now < 86400.0 ? Tone::atRisk : Tone::plain;
}

Cell errorCell(const Row& r, double) { return textCell(r.transfer.error_msg); }
SortValue errorSort(const Row& r, double) { return textSort(r.transfer.error_msg); }
Tone errorTone(const Row& r, double) { return r.transfer.error_msg ? Tone::failed : Tone::plain; }

}  // namespace

BytesDoneSource bytesDoneSource(const TransferRow& r) {
    if (r.transfer.bytes_xferred) return {r.transfer.bytes_xferred, std::nullopt};
    if (!r.transfer.upload() && r.partialSize) return {std::nullopt, r.partialSize};
    return {r.transfer.last_bytes_xferred, std::nullopt};
}

std::optional<double> bytesDone(const TransferRow& r) {
    const BytesDoneSource source = bytesDoneSource(r);
    if (source.partialSize) return static_cast<double>(*source.partialSize);
    return numberOf(source.text);
}

std::optional<double> giveUpMoment(const TransferRow& r) {
    const auto first = numberOf(r.transfer.first_request_time);
    if (!first || !(*first > 0)) return std::nullopt;
    return *first + transferGiveUpSeconds;
}

std::optional<std::string> nextTryText(const TransferRow& r, double now) {
    if (r.transfer.bytes_xferred) return std::string("active");
    const auto next = numberOf(r.transfer.next_request_time);
    if (!next) return std::nullopt;
    const auto left = countdown(*next - now);
    return left ? std::optional<std::string>("retry in " + *left) : std::nullopt;
}

std::string bytesForPeople(double bytes) {
    if (!std::isfinite(bytes)) return formatFixed(bytes, 0);
    constexpr const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
    if (std::fabs(bytes) < 1024.0) return formatFixed(bytes, 0) + " B";
    double v = bytes / 1024.0;
    std::size_t unit = 0;
    while (std::fabs(v) >= 1024.0 && unit + 1 < std::size(units)) {
        v /= 1024.0;
        ++unit;
    }
    return formatFixed(v, 2) + " " + units[unit];
}

const std::array<TableColumn<TransferRow>, transferColumnCount> transferColumns{{
    tableColumn<Row>({"project", "Project", "The project the file belongs to"}, &projectCell, &projectSort),
    tableColumn<Row>({"name", "File", "The file's name"}, &nameCell, &nameSort),
    tableColumn<Row>({"direction", "Direction", "Download (input) or upload (output)"}, &directionCell,
                     &directionSort),
    tableColumn<Row>({"nbytes", "Size", "The file's size"}, &sizeCell, &sizeSort),
    tableColumn<Row>({"done", "Done",
                      "Bytes moved: the running transfer's count, else a download's partial file on disk, else the "
                      "last try's count"},
                     &doneCell, &doneSort),
    tableColumn<Row>({"num_retries", "Retries", "How often the transfer failed and was tried again"}, &retriesCell,
                     &retriesSort, nullptr, &retriesTone),
    tableColumn<Row>({"next_request_time", "Next try", "When the client tries again, counted from now"}, &nextCell,
                     &nextSort, &nextTip),
    tableColumn<Row>({"first_request_time", "First try", "When the client first tried"}, &firstCell, &firstSort),
    tableColumn<Row>({"time_so_far", "Time spent", "Time spent transferring so far"}, &spentCell, &spentSort),
    tableColumn<Row>({"gives_up", "Gives up", "When the client gives the transfer up"}, &givesUpCell, &givesUpSort,
                     &givesUpTip, &givesUpTone),
    tableColumn<Row>({"error_msg", "Error", "The file's error message, if any"}, &errorCell, &errorSort, nullptr,
                     &errorTone),
}};

}  // namespace crunchwatch
