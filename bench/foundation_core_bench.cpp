// Speed of the computing code the program runs most often: the digest over a page-sized buffer and
// a settings lookup in an ini file of realistic size.

#include "foundation/ini_file.h"
#include "runtime/md5.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

void md5OfBuffer(benchmark::State& state)
{
    const std::string data(static_cast<std::size_t>(state.range(0)), 'x');
    for (auto _ : state) {
        benchmark::DoNotOptimize(folvex::md5(data));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

BENCHMARK(md5OfBuffer)->Arg(64 * 1024)->Arg(8 * 1024 * 1024);

// An ini file of 20 sections with 30 keys each; the key looked up is the last one of the last section.
void readIniLastKey(benchmark::State& state)
{
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("folvex-bench-" + std::to_string(::getpid()) + ".ini");
    {
        std::ofstream out(file, std::ios::binary);
        for (int section = 0; section < 20; ++section) {
            out << "[SECTION_" << section << "]\r\n";
            for (int key = 0; key < 30; ++key) {
                out << "Key" << key << "=Wert " << section * 100 + key << "\r\n";
            }
        }
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(folvex::ReadIni(file.string(), "SECTION_19", "Key29"));
    }
    std::filesystem::remove(file);
}

BENCHMARK(readIniLastKey);

} // namespace
