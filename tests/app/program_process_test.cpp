// The built program in its own process: each case copies it into a fresh program folder with its own
// home, configuration, data and temporary folders and a scanner configuration without backends, and
// runs it offscreen.

#include "support/program_copy.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace folvex {
namespace {

using testing::ProgramCopy;
using testing::waitFor;

constexpr auto StartLimit = std::chrono::milliseconds(40'000);

// Runs the program until it is ready for quit signals and the settings file exists, then sends signal.
void runUntilSignal(ProgramCopy& copy, int signal)
{
    ASSERT_GT(copy.start(), 0);
    ASSERT_TRUE(waitFor([&] { return copy.catches(signal); }, StartLimit)) << "no handler for the signal";
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(copy.settingsFile()); }, StartLimit));
    ASSERT_EQ(::kill(copy.pid(), signal), 0);
    const std::optional<int> status = copy.waitForExit(StartLimit);
    ASSERT_TRUE(status.has_value()) << "the program did not end normally";
    EXPECT_EQ(*status, 0);
}

TEST(ProgramProcessTest, QuitSignalsEndTheProgramCleanly)
{
    for (const int signal : {SIGUSR1, SIGTERM}) {
        SCOPED_TRACE(signal == SIGUSR1 ? "SIGUSR1" : "SIGTERM");
        ProgramCopy copy(FOLVEX_PROGRAM);
        runUntilSignal(copy, signal);
        const std::string left = copy.setting("ALLGEMEIN", "LastWindowPosX1");
        const std::string top = copy.setting("ALLGEMEIN", "LastWindowPosY1");
        const std::string right = copy.setting("ALLGEMEIN", "LastWindowPosX2");
        const std::string bottom = copy.setting("ALLGEMEIN", "LastWindowPosY2");
        ASSERT_FALSE(left.empty() || top.empty() || right.empty() || bottom.empty());
        // The first start's window: a client area of 580 × 214 below caption and menu bar.
        EXPECT_EQ(std::stoi(right) - std::stoi(left), 580 + 2 * 4);
        EXPECT_EQ(std::stoi(bottom) - std::stoi(top), 214 + 23 + 20 + 2 * 4);
        EXPECT_EQ(copy.setting("ALLGEMEIN", "LastWindowMaximized"), "0");
        EXPECT_TRUE(std::filesystem::is_directory(copy.programDir() + "tmp"));
    }
}

TEST(ProgramProcessTest, AQuitSignalRightAfterTheStartEndsTheProgramWithStatusZero)
{
    for (const int signal : {SIGUSR1, SIGTERM}) {
        SCOPED_TRACE(signal == SIGUSR1 ? "SIGUSR1" : "SIGTERM");
        ProgramCopy copy(FOLVEX_PROGRAM);
        ASSERT_GT(copy.start(), 0);
        ASSERT_EQ(::kill(copy.pid(), signal), 0);
        const std::optional<int> status = copy.waitForExit(StartLimit);
        ASSERT_TRUE(status.has_value()) << "the program did not end normally";
        EXPECT_EQ(*status, 0);
    }
}

TEST(ProgramProcessTest, NextStartRestoresTheWindow)
{
    ProgramCopy copy(FOLVEX_PROGRAM);
    runUntilSignal(copy, SIGTERM);
    ASSERT_TRUE(copy.store("ALLGEMEIN", "LastWindowPosX1", "30"));
    ASSERT_TRUE(copy.store("ALLGEMEIN", "LastWindowPosY1", "40"));
    ASSERT_TRUE(copy.store("ALLGEMEIN", "LastWindowPosX2", "730"));
    ASSERT_TRUE(copy.store("ALLGEMEIN", "LastWindowPosY2", "400"));
    runUntilSignal(copy, SIGUSR1);
    EXPECT_EQ(copy.setting("ALLGEMEIN", "LastWindowPosX1"), "30");
    EXPECT_EQ(copy.setting("ALLGEMEIN", "LastWindowPosY1"), "40");
    EXPECT_EQ(copy.setting("ALLGEMEIN", "LastWindowPosX2"), "730");
    EXPECT_EQ(copy.setting("ALLGEMEIN", "LastWindowPosY2"), "400");
}

// The update checker asks the program to quit with SIGUSR1 to the process id it was given.
TEST(ProgramProcessTest, QuitRequestOfTheUpdateCheckerEndsTheProgram)
{
    ProgramCopy copy(FOLVEX_PROGRAM);
    const std::string checker = copy.programDir() + "Updora";
    testing::writeFile(checker, "#!/bin/sh\nkill -USR1 \"$2\"\n");
    ASSERT_EQ(::chmod(checker.c_str(), 0755), 0);
    EXPECT_TRUE(std::filesystem::is_regular_file(copy.programDir() + "Licenses/LICENSE_FREEIMAGE.txt"));
    ASSERT_GT(copy.start(), 0);
    const std::optional<int> status = copy.waitForExit(StartLimit);
    ASSERT_TRUE(status.has_value()) << "the program did not end normally";
    EXPECT_EQ(*status, 0);
    EXPECT_FALSE(copy.setting("ALLGEMEIN", "LastWindowPosX1").empty());
    EXPECT_FALSE(copy.setting("ALLGEMEIN", "LastWindowPosY2").empty());
    EXPECT_FALSE(copy.setting("ALLGEMEIN", "LastUpdateCheckDay").empty());
    EXPECT_FALSE(std::filesystem::exists(copy.programDir() + "Updora1"));
}

} // namespace
} // namespace folvex
