#include "scan/saved_pages.h"

#include "pageeditor/page_table.h"
#include "runtime/safe_file.h"
#include "scan/scan_job.h"
#include "shell/settings.h"

#include <charconv>
#include <filesystem>
#include <map>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

namespace folvex {

namespace {

namespace fs = std::filesystem;

// What identifies one state of a page file: its size and its modification time in the file system's
// own ticks. A page rewritten under its name gets a new time; a rename keeps both.
using FileStamp = std::pair<std::uintmax_t, std::int64_t>;

std::optional<FileStamp> stampOf(const fs::path& file)
{
    std::error_code error;
    const std::uintmax_t size = fs::file_size(file, error);
    if (error) {
        return std::nullopt;
    }
    const fs::file_time_type time = fs::last_write_time(file, error);
    if (error) {
        return std::nullopt;
    }
    return FileStamp{size, static_cast<std::int64_t>(time.time_since_epoch().count())};
}

std::string markerPath(const std::string& tmpPath)
{
    return tmpPath + "/" + std::string(SavedPagesMarkerName);
}

template <typename Number>
bool parseNumber(std::string_view text, Number& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// The marker's lines "name<TAB>size<TAB>time"; a line that does not read so is skipped, so its page
// counts as unsaved.
std::map<std::string, FileStamp> readMarker(const std::string& tmpPath)
{
    std::map<std::string, FileStamp> saved;
    const Expected<std::string> content = readWholeFile(markerPath(tmpPath));
    if (!content) {
        return saved;
    }
    std::string_view rest = content.value();
    while (!rest.empty()) {
        const std::size_t lineEnd = rest.find('\n');
        if (lineEnd == std::string_view::npos) {
            break; // an incomplete last line
        }
        const std::string_view line = rest.substr(0, lineEnd);
        rest.remove_prefix(lineEnd + 1);
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string_view::npos) {
            continue;
        }
        FileStamp stamp;
        if (parseNumber(line.substr(tab1 + 1, tab2 - tab1 - 1), stamp.first) &&
            parseNumber(line.substr(tab2 + 1), stamp.second)) {
            saved.emplace(std::string(line.substr(0, tab1)), stamp);
        }
    }
    return saved;
}

} // namespace

bool markPagesSaved(const std::string& tmpPath, std::int32_t pageCount)
{
    std::string content;
    for (std::int32_t k = 1; k <= pageCount; ++k) {
        const std::string name = std::string(PageFilePrefix) + std::to_string(k) + ".bmp";
        if (const std::optional<FileStamp> stamp = stampOf(tmpPath + "/" + name)) {
            content +=
                name + "\t" + std::to_string(stamp->first) + "\t" + std::to_string(stamp->second) + "\n";
        }
    }
    if (writeFileSafely(markerPath(tmpPath), content)) {
        return true;
    }
    std::error_code error;
    fs::remove(markerPath(tmpPath), error);
    return false;
}

std::int32_t countUnsavedPages(const std::string& tmpPath)
{
    const std::map<std::string, FileStamp> saved = readMarker(tmpPath);
    std::int32_t unsaved = 0;
    std::error_code error;
    for (fs::directory_iterator entry(tmpPath, error), end; !error && entry != end; entry.increment(error)) {
        std::error_code typeError;
        const std::string name = entry->path().filename().string();
        if (!entry->is_regular_file(typeError) || !isPageFileName(name)) {
            continue;
        }
        const auto listed = saved.find(name);
        if (listed == saved.end() || stampOf(entry->path()) != listed->second) {
            ++unsaved;
        }
    }
    return unsaved;
}

} // namespace folvex
