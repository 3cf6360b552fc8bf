// A stand-in for an outside image editor in the page editor's tests: inverts the pixels of the BMP
// file it is given, in place. With FOLVEX_STUB_RECORD set it appends the count of its arguments, each
// argument and its working folder to that file, one per line; with FOLVEX_STUB_MARKER set it first
// waits (at most 20 s) for that file to appear and records whether it did.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

bool waitForFile(const char* path)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (::access(path, F_OK) == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool invertBmp(const char* path)
{
    std::vector<char> bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') {
        return false;
    }
    const auto offset = static_cast<std::size_t>(static_cast<unsigned char>(bytes[10])) |
                        static_cast<std::size_t>(static_cast<unsigned char>(bytes[11])) << 8 |
                        static_cast<std::size_t>(static_cast<unsigned char>(bytes[12])) << 16;
    for (std::size_t i = offset; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(~static_cast<unsigned char>(bytes[i]));
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv)
{
    const char* record = std::getenv("FOLVEX_STUB_RECORD");
    std::ofstream log;
    if (record != nullptr) {
        log.open(record, std::ios::app);
        log << argc - 1 << '\n';
        for (int i = 1; i < argc; ++i) {
            log << argv[i] << '\n';
        }
        std::vector<char> folder(4096);
        log << (::getcwd(folder.data(), folder.size()) != nullptr ? folder.data() : "?") << '\n';
        log.flush();
    }
    if (const char* marker = std::getenv("FOLVEX_STUB_MARKER")) {
        const bool seen = waitForFile(marker);
        if (log.is_open()) {
            log << (seen ? "marker seen" : "marker missing") << '\n';
        }
    }
    if (argc != 2) {
        return 2;
    }
    return invertBmp(argv[1]) ? 0 : 1;
}
