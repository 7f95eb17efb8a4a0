#pragma once
// The Transfers tab's rows and columns: one row per file the client keeps
// trying to download or upload, with how far it got, how often it failed,
// when it tries again and when it gives up.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "state/client_status.hpp"
#include "tables/columns.hpp"

namespace crunchwatch {

struct TransferRow {
    Transfer transfer;
    MaybeText projectName, masterUrl;
    std::optional<std::uint64_t> partialSize;  // a download's file on disk, as far as it got
};

// The client gives a transfer up this long after its first try, unless its
// configuration says otherwise.
inline constexpr double transferGiveUpSeconds = 90.0 * 86400.0;

// Bytes done: the active transfer's count while one runs, else for a
// download the partial file's size on disk, else the count of the last try.
std::optional<double> bytesDone(const TransferRow& row);
// Where that figure comes from: the file's own text, or the partial file's
// size; neither when nothing tells (the dump reports the text verbatim).
struct BytesDoneSource {
    MaybeText text;
    std::optional<std::uint64_t> partialSize;
};
BytesDoneSource bytesDoneSource(const TransferRow& row);
// When the client gives up: the first try plus 90 days; nothing without a first try.
std::optional<double> giveUpMoment(const TransferRow& row);
// "retry in 00:12:05" while the next try lies ahead; "active" while the
// file moves; nothing otherwise.
std::optional<std::string> nextTryText(const TransferRow& row, double now);

// A size for people: bytes, KiB, MiB or GiB with two decimals.
std::string bytesForPeople(double bytes);

enum class TransferColumn : std::size_t { project, name, direction, size, done, retries, next, first, spent, givesUp, error };
inline constexpr std::size_t transferColumnCount = 11;
extern const std::array<TableColumn<TransferRow>, transferColumnCount> transferColumns;
inline const TableColumn<TransferRow>& columnOf(TransferColumn c) {
    return transferColumns[static_cast<std::size_t>(c)];
}

}  // namespace crunchwatch
