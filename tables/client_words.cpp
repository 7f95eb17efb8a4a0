#include "tables/client_words.hpp"
// placeholder
namespace crunchwatch {
const std::array<TableColumn<EventRow>, eventColumnCount> eventColumns{};
const std::array<TableColumn<NoticeRow>, noticeColumnCount> noticeColumns{};
std::string noticeKey(const NoticeRow&) { return {}; }
std::string noticeBody(const NoticeRow&) { return {}; }
std::string plainTextOfHtml(std::string_view html) { return std::string(html); }
std::string safeHtml(std::string_view) { return {}; }
}  // namespace crunchwatch
