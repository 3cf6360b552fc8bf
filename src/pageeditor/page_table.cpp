#include "pageeditor/page_table.h"

#include "foundation/paths.h"
#include "runtime/text.h"
#include "shell/settings.h"

#include <algorithm>
#include <limits>

namespace folvex {

namespace {

bool endsWith(const std::string& text, std::string_view end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool startsWith(const std::string& text, std::string_view start)
{
    return text.compare(0, start.size(), start) == 0;
}

} // namespace

std::int32_t pageNumberOf(const std::string& path)
{
    const std::string name = PathFileName(path);
    const std::size_t dot = name.rfind('.');
    const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
    std::size_t first = base.size();
    while (first > 0 && base[first - 1] >= '0' && base[first - 1] <= '9') {
        --first;
    }
    constexpr std::int64_t limit = std::numeric_limits<std::int32_t>::max();
    std::int64_t number = 0;
    for (std::size_t i = first; i < base.size(); ++i) {
        number = std::min(limit, number * 10 + (base[i] - '0'));
    }
    return static_cast<std::int32_t>(number);
}

std::int32_t ComparePageNumbers(const PageRow& row1, const PageRow& row2)
{
    const std::int32_t number1 = pageNumberOf(row1.path);
    const std::int32_t number2 = pageNumberOf(row2.path);
    if (number1 > number2) {
        return 1;
    }
    if (number2 > number1) {
        return -1;
    }
    return 0;
}

bool isPageFileName(const std::string& name)
{
    const std::string lower = lowerCase(name);
    return endsWith(lower, ".bmp") && (startsWith(lower, "tmpimg") || startsWith(lower, "tmpreadyimg")) &&
           name.find("_edited") == std::string::npos;
}

PageTable collectPages(FileOps& files, const std::string& tmpPath)
{
    PageTable table;
    for (const std::string& name : files.listFiles(tmpPath)) {
        if (!endsWith(lowerCase(name), ".bmp")) {
            continue;
        }
        const std::string path = tmpPath + "/" + name;
        if (isPageFileName(name)) {
            PageRow row;
            row.path = path;
            table.rows.push_back(std::move(row));
        } else if (isOwnTempFile(name)) {
            // A left-over working copy of a page: its edits were never applied. Failures are ignored;
            // such a file is never taken as a page.
            files.remove(path);
        }
    }
    // The listing's order is arbitrary, so ties go by file name to give every run the same order.
    std::sort(table.rows.begin(), table.rows.end(), [](const PageRow& a, const PageRow& b) {
        const std::int32_t order = ComparePageNumbers(a, b);
        return order != 0 ? order < 0 : PathFileName(a.path) < PathFileName(b.path);
    });
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        table.rows[r].OrigNumber = std::to_string(r + 1);
    }
    return table;
}

} // namespace folvex
