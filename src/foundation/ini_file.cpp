#include "foundation/ini_file.h"

#include "foundation/note.h"
#include "runtime/text.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace folvex {

namespace {

constexpr std::string_view LineEnd = "\r\n";

// Splits at CR, LF or CR LF; a last line without an end counts, an empty file has no lines.
std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '\r' || c == '\n') {
            lines.push_back(text.substr(start, pos - start));
            if (c == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') {
                ++pos;
            }
            start = pos + 1;
        }
        ++pos;
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

// Calls visit(line, offset of the line) for every line of text, split as splitLines does, until
// visit returns false.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit)
{
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') {
            ++end;
        }
        if (end == text.size()) {
            visit(text.substr(start), start);
            return;
        }
        if (!visit(text.substr(start, end - start), start)) {
            return;
        }
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
}

bool isBlank(std::string_view line)
{
    return line.find_first_not_of(' ') == std::string_view::npos;
}

// Only a line starting with "[" is a header; a value may well end in "]".
bool isHeaderLike(std::string_view line)
{
    return !line.empty() && line.front() == '[';
}

std::string_view keyOf(std::string_view line)
{
    return line.substr(0, line.find('='));
}

// Everything after the first "=", the empty text at the line's end for a line without one.
std::string_view valueOf(std::string_view line)
{
    const std::size_t equals = line.find('=');
    return line.substr(equals == std::string_view::npos ? line.size() : equals + 1);
}

char upperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// isValidUtf8, eight ASCII bytes at a time: a file that is UTF-8 already needs no second copy.
bool isUtf8(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::uint64_t word = 0;
        if (pos + sizeof word <= text.size()) {
            std::memcpy(&word, text.data() + pos, sizeof word);
            if ((word & 0x8080808080808080ULL) == 0) {
                pos += sizeof word;
                continue;
            }
        }
        if (!decodeUtf8(text, pos)) {
            return false;
        }
    }
    return true;
}

// upperCase, with a short way for the plain ASCII that nearly every line of the file is.
std::string upperText(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return upperCase(text);
        }
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

bool isRegularFileOrOther(const std::string& path)
{
    struct stat info
    {};

    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

enum class ReadResult
{
    Ok,
    Missing,
    Unreadable,
};

std::size_t readings = 0;

ReadResult readFileText(const std::string& path, std::string& text)
{
    ++readings;
    if (!isRegularFileOrOther(path)) {
        return ReadResult::Missing;
    }
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        return ReadResult::Unreadable;
    }

    // One read of the whole file when its size is known; files that report none are read on to the end.
    struct stat info
    {};

    const std::size_t expected =
        ::fstat(::fileno(in), &info) == 0 && info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0;
    std::string bytes(expected + 1, '\0');
    std::size_t used = 0;
    std::size_t got = 0;
    while ((got = std::fread(bytes.data() + used, 1, bytes.size() - used, in)) > 0) {
        used += got;
        if (used == bytes.size()) {
            bytes.resize(bytes.size() * 2 + 16384);
        }
    }
    bytes.resize(used);
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed) {
        return ReadResult::Unreadable;
    }
    text = std::move(bytes);
    if (!isUtf8(text)) {
        text = utf8OrCp1252ToUtf8(text);
    }
    return ReadResult::Ok;
}

// A regular, non-empty file mapped for reading: mapping, unlike reading into fresh memory, costs next to
// nothing per page. Without data when it cannot be mapped; it is then read as ReadIni reads it.
struct Mapping
{
    std::shared_ptr<const char> data;
    std::size_t size = 0;
};

Mapping mapFile(const std::string& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }

    struct stat info
    {};

    void* start = MAP_FAILED;
    std::size_t size = 0;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        size = static_cast<std::size_t>(info.st_size);
        start = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    }
    ::close(fd);
    if (start == MAP_FAILED) {
        return {};
    }
    return {
        std::shared_ptr<const char>(
            static_cast<const char*>(start),
            [size](const char* mapped) { ::munmap(const_cast<char*>(mapped), size); }),
        size};
}

// Reads file as ReadIni does, with its notes for a missing or an unreadable file; false after a note.
bool readWithNotes(const std::string& file, std::string& text)
{
    switch (readFileText(file, text)) {
        case ReadResult::Missing:
            ShowNote("ReadIni: " + file + " nicht gefunden.", 1);
            return false;
        case ReadResult::Unreadable:
            ShowNote("ReadIni: " + file + " zwar gefunden, konnte aber nicht geöffnet werden.", 0);
            return false;
        case ReadResult::Ok:
            break;
    }
    return true;
}

// Writes content to file + "_tmp", flushes it to the disk and renames it over file. On failure the
// "_tmp" file made here is removed and file stays as it was.
bool replaceFile(const std::string& file, const std::string& content)
{
    const std::string temporary = file + "_tmp";

    struct stat old
    {};

    const bool hadFile = ::stat(file.c_str(), &old) == 0;
    // An old "_tmp" is replaced, not written through: were it a link, its target would be overwritten.
    ::unlink(temporary.c_str());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    bool ok = true;
    if (hadFile) {
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    }
    std::size_t done = 0;
    while (ok && done < content.size()) {
        const ssize_t written = ::write(fd, content.data() + done, content.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(written);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && std::rename(temporary.c_str(), file.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
    }
    return ok;
}

void appendLine(std::string& out, const std::string& line)
{
    out += line;
    out += LineEnd;
}

std::string rewrite(
    const std::vector<std::string>& lines,
    const std::string& header,
    const std::string& key,
    const std::string& value)
{
    const std::string upperKey = upperCase(key);
    const std::string entry = key + "=" + value;
    std::string out;
    bool found = false;
    bool sectionSeen = false;
    std::size_t i = 0;
    bool replaced = false;
    while (i < lines.size() && !replaced) {
        const std::string& line = lines[i++];
        if (isBlank(line)) {
            continue;
        }
        if (upperCase(line) != header) {
            appendLine(out, line);
            continue;
        }
        sectionSeen = true;
        appendLine(out, line);
        std::string held;
        while (i < lines.size()) {
            const std::string& inSection = lines[i++];
            if (isBlank(inSection)) {
                continue;
            }
            if (isHeaderLike(inSection)) {
                held = inSection;
                break;
            }
            if (upperCase(keyOf(inSection)) == upperKey) {
                // Removing drops every entry of the key, here and in later copies of the section:
                // the reader would otherwise find an older one and the key would not be gone.
                if (value.empty()) {
                    continue;
                }
                appendLine(out, entry);
                replaced = true;
                break;
            }
            appendLine(out, inSection);
        }
        if (replaced) {
            break;
        }
        // The section ended without the key: it goes last in the section, before the next header.
        if (!value.empty()) {
            appendLine(out, entry);
        }
        found = true;
        // The held header is handled like any line, so a second copy of the section is seen too.
        if (!held.empty()) {
            --i;
        }
    }
    found = found || replaced;
    if (found) {
        for (; i < lines.size(); ++i) {
            if (!isBlank(lines[i])) {
                appendLine(out, lines[i]);
            }
        }
    } else if (!sectionSeen) {
        appendLine(out, header);
        if (!value.empty()) {
            appendLine(out, entry);
        }
    }
    return out;
}

} // namespace

std::string ReadIni(const std::string& file, const std::string& section, const std::string& key)
{
    const std::string header = "[" + upperCase(section) + "]";
    const std::string upperKey = upperCase(key);
    std::string text;
    if (!readWithNotes(file, text)) {
        return {};
    }
    bool inSection = false;
    std::string value;
    forEachLine(text, [&](std::string_view line, std::size_t) {
        if (isHeaderLike(line)) {
            inSection = upperText(line) == header;
            return true;
        }
        if (!inSection || isBlank(line) || upperText(keyOf(line)) != upperKey) {
            return true;
        }
        value = std::string(valueOf(line));
        return false;
    });
    return value;
}

IniSnapshot IniSnapshot::read(const std::string& file)
{
    IniSnapshot snapshot;
    if (Mapping mapped = mapFile(file); mapped.data) {
        ++readings;
        const std::string_view bytes(mapped.data.get(), mapped.size);
        if (isUtf8(bytes)) {
            snapshot.m_text = bytes;
            snapshot.m_owner = std::move(mapped.data);
        } else {
            auto text = std::make_shared<const std::string>(utf8OrCp1252ToUtf8(bytes));
            snapshot.m_text = *text;
            snapshot.m_owner = std::shared_ptr<const char>(text, text->data());
        }
    } else {
        auto text = std::make_shared<std::string>();
        if (!readWithNotes(file, *text)) {
            return snapshot;
        }
        snapshot.m_text = *text;
        snapshot.m_owner = std::shared_ptr<const char>(text, text->data());
    }
    // Only the headers are found here: a line starting with "[" (a value may hold one, too).
    const std::string_view text = snapshot.m_text;

    std::size_t at = 0;
    while ((at = text.find('[', at)) != std::string_view::npos) {
        if (at == 0 || text[at - 1] == '\r' || text[at - 1] == '\n') {
            snapshot.m_headers.push_back(at);
            ++at;
        } else {
            ++at;
        }
    }
    return snapshot;
}

namespace {

// upperText(line) == header for an upper-cased header, mostly without making the upper-cased line.
bool isHeader(std::string_view line, std::string_view header)
{
    for (std::size_t i = 0; i < line.size() && i < header.size(); ++i) {
        if (static_cast<unsigned char>(line[i]) >= 0x80) {
            return upperText(line) == header;
        }
        // An ASCII character upper-cases to one byte, so the texts differ from here on.
        if (upperAscii(line[i]) != header[i]) {
            return false;
        }
    }
    // An ASCII line of another length differs; a longer line upper-cases to a longer text.
    return line.size() == header.size();
}

// At least the number of lines forEachLine finds in text.
std::size_t lineCount(std::string_view text)
{
    std::size_t ends = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
            ++ends;
        }
    }
    return ends;
}

std::size_t keyHash(std::string_view key)
{
    std::size_t hash = 14695981039346656037ULL;
    for (const char c : key) {
        hash = (hash ^ static_cast<unsigned char>(upperAscii(c))) * 1099511628211ULL;
    }
    return hash;
}

bool sameKey(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return upperAscii(x) == upperAscii(y);
           });
}

} // namespace

const IniSnapshot::Entries& IniSnapshot::entriesOf(const std::string& header) const
{
    auto [found, fresh] = m_entries.try_emplace(header);
    Entries& entries = found->second;
    if (!fresh) {
        return entries;
    }
    const std::string_view text = m_text;
    std::vector<Header> copies;
    std::size_t lines = 0;
    for (std::size_t i = 0; i < m_headers.size(); ++i) {
        const Header copy = headerAt(i);
        if (isHeader(text.substr(copy.line.start, copy.line.length), header)) {
            copies.push_back(copy);
            lines += lineCount(text.substr(
                copy.line.start + copy.line.length, copy.bodyEnd - copy.line.start - copy.line.length));
        }
    }
    std::size_t size = 16;
    // At most four fifths full, so a search always meets a free slot soon.
    while (size < lines + lines / 4) {
        size *= 2;
    }
    entries.table.assign(size, 0);
    const std::size_t tags = tagBits();
    for (const Header& copy : copies) {
        const std::size_t bodyStart = copy.line.start + copy.line.length;
        forEachLine(
            text.substr(bodyStart, copy.bodyEnd - bodyStart),
            [&](std::string_view entry, std::size_t offset) {
                if (isBlank(entry)) {
                    return true;
                }
                const std::string_view key = keyOf(entry);
                if (!isAscii(key)) {
                    const std::string_view value = valueOf(entry);
                    entries.otherKeys.try_emplace(
                        upperText(key),
                        Range{static_cast<std::size_t>(value.data() - text.data()), value.size()});
                    return true;
                }
                const std::size_t lineStart = bodyStart + offset;
                const std::size_t hash = keyHash(key);
                for (std::size_t slot = hash & (size - 1);; slot = (slot + 1) & (size - 1)) {
                    const std::size_t held = entries.table[slot];
                    if (held == 0) {
                        entries.table[slot] = (lineStart + 1) | (hash & tags);
                        break;
                    }
                    if ((held & tags) == (hash & tags) && sameKey(keyAt((held & ~tags) - 1), key)) {
                        break; // the first entry of the key stays
                    }
                }
                return true;
            });
    }
    return entries;
}

IniSnapshot::Header IniSnapshot::headerAt(std::size_t index) const
{
    const std::size_t start = m_headers[index];
    std::size_t end = start;
    while (end < m_text.size() && m_text[end] != '\r' && m_text[end] != '\n') {
        ++end;
    }
    return {{start, end - start}, index + 1 < m_headers.size() ? m_headers[index + 1] : m_text.size()};
}

std::size_t IniSnapshot::tagBits() const
{
    constexpr std::size_t OffsetBits = 40;
    constexpr std::size_t Offsets = (std::size_t{1} << OffsetBits) - 1;
    return sizeof(std::size_t) == 8 && m_text.size() < Offsets ? ~Offsets : 0;
}

std::string_view IniSnapshot::keyAt(std::size_t lineStart) const
{
    const std::string_view rest = m_text.substr(lineStart);
    return keyOf(rest.substr(0, rest.find_first_of("\r\n")));
}

std::string IniSnapshot::value(std::string_view section, std::string_view key) const
{
    const Entries& entries = entriesOf("[" + upperCase(section) + "]");
    const std::string upperKey = upperCase(key);
    // The first entry in the file, ASCII key or other.
    std::optional<Range> first;
    const std::size_t mask = entries.table.size() - 1;
    const std::size_t tags = tagBits();
    const std::size_t hash = keyHash(upperKey);
    for (std::size_t slot = hash & mask; entries.table[slot] != 0; slot = (slot + 1) & mask) {
        const std::size_t held = entries.table[slot];
        const std::size_t lineStart = (held & ~tags) - 1;
        if ((held & tags) == (hash & tags) && sameKey(keyAt(lineStart), upperKey)) {
            const std::string_view rest = m_text.substr(lineStart);
            const std::string_view value = valueOf(rest.substr(0, rest.find_first_of("\r\n")));
            first = Range{static_cast<std::size_t>(value.data() - m_text.data()), value.size()};
            break;
        }
    }
    if (const auto other = entries.otherKeys.find(upperKey);
        other != entries.otherKeys.end() && (!first || other->second.start < first->start)) {
        first = other->second;
    }
    return first ? std::string(m_text.substr(first->start, first->length)) : std::string();
}

std::size_t IniFileReadings()
{
    return readings;
}

int WriteIni(
    const std::string& file, const std::string& section, const std::string& key, const std::string& value)
{
    const std::string header = "[" + upperCase(section) + "]";
    std::string text;
    const ReadResult read = readFileText(file, text);
    if (read == ReadResult::Unreadable) {
        return 0;
    }
    std::string content;
    if (read == ReadResult::Missing) {
        appendLine(content, header);
        appendLine(content, key + "=" + value);
    } else {
        content = rewrite(splitLines(text), header, key, value);
    }
    return replaceFile(file, content) ? 1 : 0;
}

} // namespace folvex
