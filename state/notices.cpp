#include "state/notices.hpp"

#include <algorithm>
#include <charconv>

#include "state/local_folder.hpp"
#include "state/numbers.hpp"
#include "state/redact.hpp"

namespace crunchwatch {
namespace {

constexpr std::string_view cdataOpen = "<![CDATA[", cdataClose = "]]>";

// The first place of `close` in `text` from `from` that lies outside any
// CDATA section, or npos.
// Each search goes on from where the last one stopped: a text of many CDATA
// sections before a distant (or missing) `close` costs one pass, not one
// per section.
std::size_t findOutsideCdata(std::string_view text, std::string_view close, std::size_t from) {
    std::size_t end = text.find(close, from);
    while (end != std::string_view::npos && from < text.size()) {
        // A section that matters begins before `end` (its opening cannot
        // overlap `close`): looking further would make every block's search
        // run to the next section, however far.
        const std::size_t cdata = text.substr(0, end).find(cdataOpen, from);
        if (cdata == std::string_view::npos || end < cdata) return end;
        const std::size_t cdataEnd = text.find(cdataClose, cdata + cdataOpen.size());
        if (cdataEnd == std::string_view::npos) return std::string_view::npos;
        from = cdataEnd + cdataClose.size();
        if (end < from) end = text.find(close, from);
    }
    return std::string_view::npos;
}

// The value of the first <name> child in `block`, CDATA unwrapped; the
// empty text when there is none.
std::string childText(std::string_view block, std::string_view name) {
    std::string open, close;
    open.append("<").append(name).append(">");
    close.append("</").append(name).append(">");
    const std::size_t begin = findOutsideCdata(block, open, 0);
    if (begin == std::string_view::npos) return {};
    const std::size_t valueBegin = begin + open.size();
    const std::size_t end = findOutsideCdata(block, close, valueBegin);
    std::string_view value = block.substr(valueBegin, (end == std::string_view::npos ? block.size() : end) - valueBegin);
    std::string out;
    // Text and CDATA sections may alternate; CDATA's content is taken as it is.
    while (!value.empty()) {
        const std::size_t cdata = value.find(cdataOpen);
        if (cdata == std::string_view::npos) {
            out.append(value);
            break;
        }
        out.append(value.substr(0, cdata));
        value.remove_prefix(cdata + cdataOpen.size());
        const std::size_t cdataEnd = value.find(cdataClose);
        out.append(value.substr(0, cdataEnd));
        if (cdataEnd == std::string_view::npos) break;
        value.remove_prefix(cdataEnd + cdataClose.size());
    }
    return mayHoldSecret(out) ? hideSecrets(out) : out;
}

// Each <open ...> ... </close> block of `text`, in order.
template <class Take>
void forEachBlock(std::string_view text, std::string_view open, std::string_view close, Take take) {
    std::size_t at = 0;
    while ((at = text.find(open, at)) != std::string_view::npos) {
        const std::size_t afterName = at + open.size();
        if (afterName < text.size() && text[afterName] != '>' && text[afterName] != ' ') {
            at = afterName;  // a longer name (<notices> for <notice)
            continue;
        }
        std::size_t end = findOutsideCdata(text, close, afterName);
        if (end == std::string_view::npos) end = text.size();
        take(text.substr(at, end - at));
        at = end;
    }
}

// The names in the folder's `dir` that begin with `prefix` and end with
// ".xml", sorted.
std::vector<std::string> namesIn(const Folder& folder, std::string_view dir, std::string_view prefix) {
    ReadFailure ignored{};
    auto all = folder.names(dir, ignored);
    std::vector<std::string> names;
    if (!all) return names;
    for (std::string& name : *all)
        if (name.size() > prefix.size() + 4 && name.starts_with(prefix) && name.ends_with(".xml"))
            names.push_back(std::move(name));
    std::sort(names.begin(), names.end());
    return names;
}

// The files are written whole by the client, each well under this.
constexpr std::uint64_t largestNoticeFile = 64 * 1024 * 1024;

}  // namespace

std::vector<Notice> readNoticesArchive(std::string_view text) {
    std::vector<Notice> notices;
    forEachBlock(text, "<notice", "</notice>", [&](std::string_view block) {
        Notice n;
        n.title = childText(block, "title");
        n.description = childText(block, "description");
        n.createTime = childText(block, "create_time");
        n.arrivalTime = childText(block, "arrival_time");
        n.isPrivate = childText(block, "is_private");
        n.projectName = childText(block, "project_name");
        n.category = childText(block, "category");
        n.link = childText(block, "link");
        n.guid = childText(block, "guid");
        notices.push_back(std::move(n));
    });
    return notices;
}

std::vector<SchedulerMessage> readSchedulerMessages(std::string_view text) {
    std::vector<SchedulerMessage> messages;
    forEachBlock(text, "<message", "</message>", [&](std::string_view block) {
        const std::size_t tagEnd = block.find('>');
        if (tagEnd == std::string_view::npos) return;
        const std::string_view tag = block.substr(0, tagEnd);
        SchedulerMessage m;
        if (const std::size_t p = tag.find("priority=\""); p != std::string_view::npos) {
            const std::size_t begin = p + 10, end = tag.find('"', begin);
            if (end != std::string_view::npos) m.priority = tag.substr(begin, end - begin);
        }
        std::string_view value = block.substr(tagEnd + 1);
        if (value.starts_with(cdataOpen)) {
            value.remove_prefix(cdataOpen.size());
            value = value.substr(0, value.find(cdataClose));
        }
        m.text = mayHoldSecret(value) ? hideSecrets(value) : std::string(value);
        messages.push_back(std::move(m));
    });
    return messages;
}

NoticeFiles readNoticeFiles(const std::string& dataDir) { return readNoticeFiles(LocalFolder(dataDir)); }

NoticeFiles readNoticeFiles(const Folder& folder) {
    NoticeFiles files;
    for (const std::string& name : namesIn(folder, "notices", "archive_")) {
        const std::string file = "notices/" + name;
        ReadFailure why{};
        const auto read = folder.readSmall(file, largestNoticeFile, why);
        if (!read) {
            files.unreadable.emplace_back(file, why);
            continue;
        }
        for (Notice& n : readNoticesArchive(read->text)) {
            n.file = file;
            files.notices.push_back(std::move(n));
        }
    }
    std::stable_sort(files.notices.begin(), files.notices.end(), [](const Notice& a, const Notice& b) {
        return readNumber(a.createTime) > readNumber(b.createTime);
    });
    // Only the replies: the requests beside them hold the account's key.
    for (const std::string& name : namesIn(folder, "", "sched_reply_")) {
        ReadFailure why{};
        const auto read = folder.readSmall(name, largestNoticeFile, why);
        if (!read) {
            files.unreadable.emplace_back(name, why);
            continue;
        }
        const double written = static_cast<double>(read->stat.seconds) + read->stat.nanoseconds / 1e9;
        const std::string escaped = name.substr(12, name.size() - 12 - 4);
        for (SchedulerMessage& m : readSchedulerMessages(read->text)) {
            m.escapedUrl = escaped;
            m.fileTime = written;
            files.messages.push_back(std::move(m));
        }
    }
    return files;
}

std::string noticeFilesStamp(const std::string& dataDir) { return noticeFilesStamp(LocalFolder(dataDir)); }

std::string noticeFilesStamp(const Folder& folder) {
    std::string stamp;
    const auto add = [&](const std::string& name) {
        stamp += folder.shown(name);
        if (auto date = folder.dateText(name)) stamp += *date;
        stamp += '|';
    };
    add("notices");
    for (const std::string& name : namesIn(folder, "notices", "archive_")) add("notices/" + name);
    for (const std::string& name : namesIn(folder, "", "sched_reply_")) add(name);
    return stamp;
}

}  // namespace crunchwatch
