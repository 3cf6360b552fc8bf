#include "foundation/freeimage_messages.h"

#include "support/fakes.h"
#include "support/image_fixtures.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace folvex {
namespace {

using testing::realFunctions;

// A GUI-thread port for the test: the test's own thread is the GUI thread, posted tasks wait until the
// test runs them there.
class RecordingGuiThread final : public GuiThreadPort
{
public:
    bool onGuiThread() const override { return std::this_thread::get_id() == m_guiThread; }

    void postToGuiThread(std::function<void()> task) override
    {
        const std::lock_guard lock(m_mutex);
        m_posted.push_back(std::move(task));
    }

    // Runs the posted tasks on the calling (GUI) thread; how many there were.
    std::size_t runPosted()
    {
        std::vector<std::function<void()>> tasks;
        {
            const std::lock_guard lock(m_mutex);
            tasks.swap(m_posted);
        }
        for (auto& task : tasks) {
            task();
        }
        return tasks.size();
    }

private:
    std::thread::id m_guiThread = std::this_thread::get_id();
    std::mutex m_mutex;
    std::vector<std::function<void()>> m_posted;
};

// The library's callback routed as the program routes it, and the port installed, for one test.
class RoutedMessages
{
public:
    RoutedMessages()
    {
        setFreeImageMessageGuiThread(&gui);
        realFunctions().SetOutputMessage(
            [](FREE_IMAGE_FORMAT, const char* message) { deliverFreeImageMessage(message); });
    }

    ~RoutedMessages()
    {
        realFunctions().SetOutputMessage(nullptr);
        setFreeImageMessageGuiThread(nullptr);
    }

    RoutedMessages(const RoutedMessages&) = delete;
    RoutedMessages& operator=(const RoutedMessages&) = delete;

    RecordingGuiThread gui;
};

// A file that starts as a BMP and breaks off inside its header, so the library reports an error.
std::string writeBrokenBmp(const testing::TempDir& dir)
{
    const std::string path = dir.file("kaputt.bmp");
    testing::writeFile(path, std::string("BM\x36\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00", 16));
    return path;
}

TEST(FreeImageMessagesTest, AScopeOnAWorkerGathersTheBrokenFilesMessageAndShowsNoNote)
{
    testing::ScopedFakeEffects fakes;
    testing::TempDir dir;
    const std::string path = writeBrokenBmp(dir);
    RoutedMessages routed;

    std::vector<std::string> gathered;
    std::string note;
    bool loaded = true;
    std::thread worker([&] {
        FreeImageMessageScope scope;
        FIBITMAP* image = realFunctions().LoadU(FIF_BMP, path);
        loaded = image != nullptr;
        realFunctions().Unload(image);
        gathered = scope.messages();
        note = scope.noteText();
    });
    worker.join();

    EXPECT_FALSE(loaded);
    ASSERT_EQ(gathered.size(), 1u);
    EXPECT_FALSE(gathered[0].empty());
    EXPECT_EQ(note, "FreeImage-Fehler:\\n\\n" + gathered[0]);
    EXPECT_EQ(routed.gui.runPosted(), 0u);
    EXPECT_TRUE(fakes.messages.shown.empty());
}

// The TIFF library's own error about a file whose first page lies beyond its end is gathered with the
// image library's messages for that file.
TEST(FreeImageMessagesTest, TheTiffLibrarysErrorsAreGatheredWithTheFile)
{
    testing::ScopedFakeEffects fakes;
    testing::TempDir dir;
    const std::string path = dir.file("kaputt.tif");
    testing::writeFile(path, std::string("II\x2A\x00\x00\x10\x00\x00", 8));
    RoutedMessages routed;

    FreeImageMessageScope scope;
    realFunctions().Unload(realFunctions().LoadU(FIF_TIFF, path));

    const std::vector<std::string>& gathered = scope.messages();
    EXPECT_TRUE(std::any_of(gathered.begin(), gathered.end(), [](const std::string& message) {
        return message.rfind("TIFF", 0) == 0;
    })) << ::testing::PrintToString(gathered);
    EXPECT_TRUE(fakes.messages.shown.empty());
}

TEST(FreeImageMessagesTest, WithoutAScopeAWorkersMessageIsShownOnTheGuiThreadOnly)
{
    testing::ScopedFakeEffects fakes;
    testing::TempDir dir;
    const std::string path = writeBrokenBmp(dir);
    RoutedMessages routed;

    std::thread worker([&] { realFunctions().Unload(realFunctions().LoadU(FIF_BMP, path)); });
    worker.join();
    // Nothing was shown from the worker; the note waits for the GUI thread.
    EXPECT_TRUE(fakes.messages.shown.empty());

    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(routed.gui.runPosted(), 1u);
    ASSERT_EQ(fakes.messages.shown.size(), 1u);
    EXPECT_EQ(fakes.messages.shown[0].title, "Hinweis");
    EXPECT_EQ(fakes.messages.shown[0].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(fakes.messages.shown[0].text.rfind("FreeImage-Fehler:\r\r", 0), 0u);
    EXPECT_GT(fakes.messages.shown[0].text.size(), std::string("FreeImage-Fehler:\r\r").size());

    // On the GUI thread itself the note comes at once.
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    realFunctions().Unload(realFunctions().LoadU(FIF_BMP, path));
    EXPECT_EQ(fakes.messages.shown.size(), 2u);
    EXPECT_EQ(routed.gui.runPosted(), 0u);
}

TEST(FreeImageMessagesTest, ScopesNestPerThreadAndTakeStartsAnew)
{
    testing::ScopedFakeEffects fakes;
    RoutedMessages routed;

    FreeImageMessageScope outer;
    deliverFreeImageMessage("erste");
    {
        FreeImageMessageScope inner;
        deliverFreeImageMessage("Gr\xf6\xdf"
                                "e");
        // Another thread's message does not land in this thread's scopes.
        std::thread other([] { deliverFreeImageMessage("fremd"); });
        other.join();
        EXPECT_EQ(inner.messages(), std::vector<std::string>{"Größe"});
    }
    deliverFreeImageMessage(nullptr);
    EXPECT_EQ(outer.noteText(), "FreeImage-Fehler:\\n\\nerste\\n");
    EXPECT_EQ(outer.take(), (std::vector<std::string>{"erste", ""}));
    EXPECT_TRUE(outer.messages().empty());
    EXPECT_EQ(outer.noteText(), "");

    EXPECT_TRUE(fakes.messages.shown.empty());
    fakes.messages.queueAnswer(MessageAnswer::Ok);
    EXPECT_EQ(routed.gui.runPosted(), 1u);
    ASSERT_EQ(fakes.messages.shown.size(), 1u);
    EXPECT_EQ(fakes.messages.shown[0].text, "FreeImage-Fehler:\r\rfremd");
}

} // namespace
} // namespace folvex
