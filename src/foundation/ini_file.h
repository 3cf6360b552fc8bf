#pragma once
// Reader and writer of the program's ini files: sections "[NAME]" with key=value lines. The file is
// written as UTF-8 with CR LF line ends and read as UTF-8, bytes that are not UTF-8 as Windows-1252.
// GUI thread; every call opens and closes the file, nothing is kept between calls, except in an
// IniSnapshot, which holds one reading of a file for many questions.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace folvex {

// The value of the first entry key (any letter case) of section (any letter case): everything after the
// first "=" of the line. A section ends at the next line starting with "["; a later copy of the same
// section is searched too. Missing section or key: the empty text, no message. Missing file: the
// mode-1 note "ReadIni: <file> nicht gefunden." and the empty text; an unreadable file: the mode-0
// note "ReadIni: <file> zwar gefunden, konnte aber nicht geöffnet werden." and the empty text.
std::string ReadIni(const std::string& file, const std::string& section, const std::string& key);

// One reading of an ini file that answers every question as ReadIni would have answered it at the
// moment of reading, without reading the file again: a load that asks forty keys reads the file once.
// The file is mapped (or read) and decoded once, only its headers are found at once; a section's entries are
// indexed when it is first asked for.
class IniSnapshot
{
public:
    // The snapshot of file with ReadIni's notes for a missing or an unreadable file, each shown once;
    // such a file answers the empty text to every question.
    static IniSnapshot read(const std::string& file);

    // What ReadIni(file, section, key) gave when the snapshot was taken.
    std::string value(std::string_view section, std::string_view key) const;

private:
    struct Range
    {
        std::size_t start = 0; // offset in m_text
        std::size_t length = 0;
    };

    struct Header
    {
        Range line;          // the header line, "[" included
        std::size_t bodyEnd; // where the next header starts, or the text ends
    };

    // The entries of one section over all its copies: an open-addressing table of the first entry of
    // every ASCII key (compared as upper-cased ASCII) that holds only where its line starts, so indexing
    // a long section allocates once; the rare keys with other characters are held upper-cased apart.
    struct Entries
    {
        // Offset of the entry's line in m_text + 1, 0 for a free slot; the bits of tagBits() hold the
        // same bits of the key's hash, so most keys that differ are told apart without reading them.
        std::vector<std::size_t> table;
        std::unordered_map<std::string, Range> otherKeys;
    };

    const Entries& entriesOf(const std::string& header) const;
    Header headerAt(std::size_t index) const;
    std::size_t tagBits() const;
    std::string_view keyAt(std::size_t lineStart) const; // the key of the entry line starting there

    std::shared_ptr<const char> m_owner; // the mapped file, or the text decoded from it
    std::string_view m_text;
    std::vector<std::size_t> m_headers; // where every header line starts, in file order
    // Per upper-cased header asked for: its entries, over every copy of the section.
    mutable std::unordered_map<std::string, Entries> m_entries;
};

// How often this process has read an ini file whole (ReadIni, IniSnapshot::read and WriteIni each read
// it once): lets a caller see that a load reads its file once.
std::size_t IniFileReadings();

// Sets key in section to value; an empty value removes every entry of key from the section and from
// later copies of it. A missing section is appended with its name upper-cased, a missing key goes to
// the end of its section. Blank lines are dropped. The new content is written completely to
// file + "_tmp" and then renamed over file. Returns 1, or 0 when the file could not be read or the new
// one not be written; file is then unchanged and no "_tmp" is left.
int WriteIni(
    const std::string& file, const std::string& section, const std::string& key, const std::string& value);

} // namespace folvex
