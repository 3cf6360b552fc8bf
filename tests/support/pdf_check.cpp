#include "support/pdf_check.h"

#include "support/temp_dir.h"

#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace folvex::testing {

namespace {

std::string printable(const std::string& bytes, std::size_t from, std::size_t count)
{
    std::string out;
    for (std::size_t i = from; i < bytes.size() && i < from + count; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7F) {
            static const char* digits = "0123456789ABCDEF";
            out += "\\x";
            out.push_back(digits[c >> 4]);
            out.push_back(digits[c & 15]);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

bool startsAt(const std::string& bytes, std::size_t offset, const std::string& text)
{
    return offset <= bytes.size() && bytes.compare(offset, text.size(), text) == 0;
}

} // namespace

ProgramOutput runProgram(const std::vector<std::string>& argv)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    ProgramOutput result;
    if (spawned != 0) {
        ::close(fds[0]);
        return result;
    }
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(fds[0], buffer, sizeof buffer)) > 0) {
        result.output.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

::testing::AssertionResult qpdfCheckPasses(const std::string& path)
{
    const ProgramOutput result = runProgram({"qpdf", "--check", path});
    if (result.exitCode != 0) {
        return ::testing::AssertionFailure()
               << "qpdf --check " << path << " exited with " << result.exitCode << ":\n"
               << result.output;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult pdfStructureIsSound(const std::string& bytes)
{
    const std::size_t startxref = bytes.rfind("startxref\n");
    if (startxref == std::string::npos) {
        return ::testing::AssertionFailure() << "no startxref";
    }
    const std::size_t xref = std::strtoull(bytes.c_str() + startxref + 10, nullptr, 10);
    if (!startsAt(bytes, xref, "xref\n0 ")) {
        return ::testing::AssertionFailure() << "startxref " << xref << " does not point at \"xref\"";
    }
    std::size_t pos = xref + 7;
    const std::size_t size = std::strtoull(bytes.c_str() + pos, nullptr, 10);
    pos = bytes.find('\n', pos) + 1;
    if (!startsAt(bytes, pos, "0000000000 65535 f \n")) {
        return ::testing::AssertionFailure() << "the free entry is not \"0000000000 65535 f \"";
    }
    pos += 20;
    std::size_t previous = 0;
    for (std::size_t number = 1; number < size; ++number, pos += 20) {
        const std::string line = bytes.substr(pos, 20);
        if (line.size() != 20 || line.substr(10) != " 00000 n \n" ||
            line.find_first_not_of("0123456789") != 10) {
            return ::testing::AssertionFailure() << "cross-reference line " << number
                                                 << " is not 20 bytes: \"" << printable(line, 0, 20) << "\"";
        }
        const std::size_t offset = std::stoull(line.substr(0, 10));
        const std::string header = std::to_string(number) + " 0 obj";
        if (!startsAt(bytes, offset, header) || (offset > 0 && bytes[offset - 1] != '\n')) {
            return ::testing::AssertionFailure() << "object " << number << " is not at offset " << offset
                                                 << ": \"" << printable(bytes, offset, 20) << "\"";
        }
        if (offset <= previous) {
            return ::testing::AssertionFailure()
                   << "object " << number << " comes before object " << number - 1;
        }
        previous = offset;
    }
    if (!startsAt(bytes, pos, "trailer\n")) {
        return ::testing::AssertionFailure()
               << "the table of " << size << " entries is not followed by the trailer";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult pdfFileIsSound(const std::string& path)
{
    ::testing::AssertionResult structure = pdfStructureIsSound(readFile(path));
    if (!structure) {
        return structure;
    }
    return qpdfCheckPasses(path);
}

std::map<std::string, std::string> pdfInfo(const std::string& path, const std::vector<std::string>& extraArgs)
{
    std::vector<std::string> argv = {"pdfinfo"};
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    argv.push_back(path);
    const ProgramOutput result = runProgram(argv);
    std::map<std::string, std::string> fields;
    std::istringstream lines(result.output);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        const std::size_t value = line.find_first_not_of(' ', colon + 1);
        fields[line.substr(0, colon)] = value == std::string::npos ? "" : line.substr(value);
    }
    return fields;
}

::testing::AssertionResult matchesGolden(const std::string& actual, const std::string& goldenPath)
{
    const char* update = std::getenv("FOLVEX_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        writeFile(goldenPath, actual);
        return ::testing::AssertionSuccess() << "golden file written";
    }
    const std::string expected = readFile(goldenPath);
    if (actual == expected) {
        return ::testing::AssertionSuccess();
    }
    std::size_t first = 0;
    while (first < actual.size() && first < expected.size() && actual[first] == expected[first]) {
        ++first;
    }
    const std::size_t from = first >= 40 ? first - 40 : 0;
    return ::testing::AssertionFailure()
           << "differs from " << goldenPath << " at byte " << first << " (sizes " << actual.size() << " and "
           << expected.size() << ")\n  expected: \"" << printable(expected, from, 80) << "\"\n  actual:   \""
           << printable(actual, from, 80) << "\"";
}

} // namespace folvex::testing
