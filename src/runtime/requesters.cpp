#include "runtime/requesters.h"

#include "runtime/effects.h"

#include <deque>

namespace folvex {
namespace {

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// The rest of the last open-file dialog's choice, for nextSelectedFile().
std::deque<std::string>& pendingSelection()
{
    static std::deque<std::string> pending;
    return pending;
}

} // namespace

std::vector<FilePattern> parseFilePatterns(const std::string& patterns)
{
    std::vector<FilePattern> result;
    if (patterns.empty()) {
        return result;
    }
    const std::vector<std::string> parts = split(patterns, '|');
    for (std::size_t i = 0; i < parts.size(); i += 2) {
        FilePattern entry;
        entry.description = parts[i];
        if (i + 1 < parts.size()) {
            for (const std::string& pattern : split(parts[i + 1], ';')) {
                if (!pattern.empty()) {
                    entry.patterns.push_back(pattern);
                }
            }
        }
        if (entry.patterns.empty()) {
            entry.patterns.push_back("*");
        }
        result.push_back(std::move(entry));
    }
    return result;
}

std::string openFileRequester(const FileRequest& request)
{
    std::deque<std::string>& pending = pendingSelection();
    pending.clear();
    if (effects().files == nullptr) {
        return {};
    }
    std::vector<std::string> chosen = effects().files->openFiles(request);
    if (!request.multiple && chosen.size() > 1) {
        chosen.resize(1);
    }
    pending.assign(chosen.begin(), chosen.end());
    return nextSelectedFile();
}

std::string nextSelectedFile()
{
    std::deque<std::string>& pending = pendingSelection();
    if (pending.empty()) {
        return {};
    }
    std::string next = std::move(pending.front());
    pending.pop_front();
    return next;
}

} // namespace folvex
