#include "foundation/twain_binding.h"

#include "support/fakes.h"
#include "twain/fake_scanner_library.h"
#include "twain/sane_scanner_library.h"

#include <gtest/gtest.h>

namespace folvex {
namespace {

// Installs a library for one test and uninstalls it afterwards.
class ScopedBinding
{
public:
    explicit ScopedBinding(ScannerLibrary& library) { installDTwainBinding(&library); }

    ~ScopedBinding() { installDTwainBinding(nullptr); }
};

TEST(DTwainVersionCheckTest, ParsesTheVersionWord)
{
    struct Row
    {
        const char* text;
        const char* version;
    };

    const Row rows[] = {
        {"Folvex-Scannerbibliothek Version: 5.6.6 (SANE)", "5.6.6"},
        {"DTWAIN Version: 5.6.6\r\nBuild 12", "5.6.6"},
        {"Version: 5.6.6\nBuild 12", "5.6.6"},
        {"Version:  5.6.6", ""},
        {"Version: 5.6.6.1 beta", "5.6.6.1"},
        {"DTwain 5.7.0 Release", "5.7.0"},
        {"5.6.6", ""},
        {"", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(parseDTwainVersion(row.text), row.version);
    }
}

TEST(DTwainVersionCheckTest, MismatchAsksAndOnlyNoGoesOn)
{
    struct Row
    {
        const char* text;
        const char* word;
        MessageAnswer answer;
        bool ends;
    };

    const Row rows[] = {
        {"DTWAIN Version:  5.6.6", "", MessageAnswer::No, false},
        {"DTwain 5.7.0 Release", "5.7.0", MessageAnswer::Yes, true},
        {"Version: 5.6.5\r\n", "5.6.5", MessageAnswer::Cancel, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        testing::ScopedFakeEffects fakes;
        FakeScannerLibrary library;
        library.version = row.text;
        ScopedBinding binding(library);
        fakes.messages.queueAnswer(row.answer);
        if (row.ends) {
            EXPECT_THROW(DTwainVersionCheck(), testing::ProgramEnded);
            EXPECT_EQ(fakes.exit.codes, std::vector<int>{1});
        } else {
            EXPECT_EQ(DTwainVersionCheck(), 0);
            EXPECT_TRUE(fakes.exit.codes.empty());
        }
        ASSERT_EQ(fakes.messages.shown.size(), 1u);
        const testing::RecordedMessage& box = fakes.messages.shown.front();
        EXPECT_EQ(box.title, "DTwain Version Mismatch");
        EXPECT_EQ(box.buttons, MessageButtons::YesNoCancel);
        EXPECT_EQ(box.icon, MessageIcon::Warning);
        EXPECT_EQ(
            box.text,
            std::string("Die DTwain-Anbindung ist für die Version 5.6.6 von DTwain geschrieben.\rDie "
                        "Scannerbibliothek ist jedoch Version ") +
                row.word + ".\r\rDas Programm sollte unbedingt abgebrochen werden! [Nein=weiter]");
        EXPECT_EQ(library.callsOf(9800).at(0).args, std::vector<std::string>{"500"});
    }
}

class UnusedDialogs final : public SaneDialogs
{
public:
    std::optional<std::size_t> chooseDevice(DeviceSearch&, Handle) override
    {
        ADD_FAILURE() << "no dialog expected";
        return std::nullopt;
    }

    void showProgress(AcquisitionSession&, Handle) override { ADD_FAILURE() << "no dialog expected"; }
};

TEST(DTwainVersionCheckTest, TheSaneLibraryPassesBeforeItStarts)
{
    testing::ScopedFakeEffects fakes;
    UnusedDialogs dialogs;
    SaneScannerLibrary library(dialogs);
    ScopedBinding binding(library);
    EXPECT_EQ(DTwainVersionCheck(), 0);
    EXPECT_TRUE(fakes.messages.shown.empty());
}

TEST(DTwainBindingTest, CallsGoToTheInstalledLibraryOrAnswerZero)
{
    EXPECT_EQ(DTwainBinding().initialize(), 0);
    EXPECT_EQ(DTwainBinding().selectSourceByName("Scanner"), NoHandle);
    EXPECT_EQ(DTwainBinding().versionText(500), "");

    FakeScannerLibrary library;
    {
        ScopedBinding binding(library);
        EXPECT_EQ(DTwainBinding().initialize(), 1);
        EXPECT_EQ(&DTwainBinding(), &library);
    }
    EXPECT_NE(&DTwainBinding(), &library);
    EXPECT_EQ(library.callsOf(2).size(), 1u);
}

} // namespace
} // namespace folvex
