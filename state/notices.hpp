#pragma once
// What projects tell the user: the news the client fetched from each
// project's feed, archived in notices/archive_<escaped feed url>.xml
//   <notices><notice><title>..</title><description><![CDATA[..]]></description>
//   <create_time>..</create_time><arrival_time>..</arrival_time><is_private>0</is_private>
//   <project_name>..</project_name><category>..</category><link>..</link><guid>..</guid></notice>..</notices>
// and the messages of a project's last scheduler reply, kept in
// sched_reply_<escaped master url>.xml until the next contact:
//   <message priority="notice">text</message>
// Values stay verbatim (CDATA unwrapped, entities kept); the description is
// the project's HTML, never rendered here. Only regular files are read, each
// whole and within a size limit; a link is not followed. The scheduler's
// request files beside the replies hold the account's key and are never
// opened.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/read_failure.hpp"

namespace crunchwatch {

struct Notice {
    std::string title, description, createTime, arrivalTime, isPrivate, projectName, category, link, guid;
    std::string file;  // the archive's file name, or the scheduler reply's
};

// The notices of one archive's text, in file order.
std::vector<Notice> readNoticesArchive(std::string_view text);

struct SchedulerMessage {
    std::string priority;  // the attribute, verbatim ("notice", "low", "high", ...)
    std::string text;
    std::string escapedUrl;          // the project's, from the reply's file name
    std::optional<double> fileTime;  // when the reply was written (its modification)
};
// The <message> elements of a scheduler reply's text, in file order.
std::vector<SchedulerMessage> readSchedulerMessages(std::string_view text);

struct NoticeFiles {
    std::vector<Notice> notices;              // every archive's, newest create_time first
    std::vector<SchedulerMessage> messages;  // every scheduler reply's, by file name, then file order
    std::vector<std::pair<std::string, ReadFailure>> unreadable;  // file name, why
};
class Folder;
// Reads notices/archive_*.xml and sched_reply_*.xml in the data directory
// (`dataDir` on this machine).
NoticeFiles readNoticeFiles(const Folder& folder);
NoticeFiles readNoticeFiles(const std::string& dataDir);
// The newest modification among those files and their folder, as a text
// that only compares (one attribute query per file): what tells the watchdog
// to read them again.
std::string noticeFilesStamp(const Folder& folder);
std::string noticeFilesStamp(const std::string& dataDir);

}  // namespace crunchwatch
