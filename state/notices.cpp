#include "state/notices.hpp"
// placeholder, replaced by the reader
namespace crunchwatch {
std::vector<Notice> readNoticesArchive(std::string_view) { return {}; }
std::vector<SchedulerMessage> readSchedulerMessages(std::string_view) { return {}; }
NoticeFiles readNoticeFiles(const std::string&) { return {}; }
std::string noticeFilesStamp(const std::string&) { return {}; }
}  // namespace crunchwatch
