#include "pageeditor/editor_controller.h"

#include "imageops/raster.h"
#include "pageeditor/editor_fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <functional>
#include <set>

namespace folvex {
namespace {

using testing::TempDir;

Handle handleOf(std::int32_t page)
{
    return 100 + page;
}

// The window as the loop sees it: clicked flags set by the test, every effect logged.
class FakeView final : public EditorView
{
public:
    explicit FakeView(PageEditorModel& model)
        : m_model(model)
    {}

    bool buttonClicked(EditorButton button) override
    {
        polled.push_back(button);
        return clicked.erase(button) > 0;
    }

    bool escapeDownInEditor() override { return escape; }

    Handle thumbnailHandle(std::int32_t page) override { return replaced.count(page) ? 999 : handleOf(page); }

    // A rebuild changes no mark: the blank mark set by the first build stays, as in the real window.
    void rebuildThumbnail(std::int32_t page) override { log.push_back("rebuild " + std::to_string(page)); }

    void renderOneThumbnail(std::int32_t page, bool right) override
    {
        right ? m_model.turnRight(page) : m_model.turnLeft(page);
        log.push_back(std::string(right ? "right " : "left ") + std::to_string(page));
    }

    void showFreeAngleThumbnail(std::int32_t page) override
    {
        log.push_back("angle " + std::to_string(page));
    }

    void showContextMenu(const std::vector<PopupEntry>& menu) override
    {
        shownMenu = menu;
        log.push_back("context menu");
    }

    void showMarkedPageMenu() override { log.push_back("marked menu"); }

    std::string
    askText(const std::string& title, const std::string& prompt, const std::string& initial) override
    {
        log.push_back("ask " + title + "|" + prompt + "|" + initial);
        return answer;
    }

    bool confirmDiscard() override
    {
        log.push_back("confirm discard");
        return discard;
    }

    void drainEvents() override { log.push_back("drain"); }

    void dropOneEvent() override { log.push_back("drop one"); }

    void cancelEdits() override { log.push_back("cancel"); }

    void applyEdits() override { log.push_back("apply"); }

    bool dragIfPressed() override { return false; }

    bool isWhitePick(Handle control) override { return control == 501; }

    bool isBlackPick(Handle control) override { return control == 502; }

    void pickWhitePoint() override { log.push_back("pick white"); }

    void pickBlackPoint() override { log.push_back("pick black"); }

    void showLargeView(std::int32_t page) override { log.push_back("large " + std::to_string(page)); }

    void showOptions() override { log.push_back("options"); }

    void openInExternalEditor(std::int32_t page, std::int32_t k) override
    {
        log.push_back("editor " + std::to_string(page) + " " + std::to_string(k));
    }

    std::int32_t splitToggleOf(Handle control) override
    {
        return control >= 600 ? static_cast<std::int32_t>(control - 600) : 0;
    }

    void relabelThumbnails() override { log.push_back("relabel"); }

    std::set<EditorButton> clicked;
    std::vector<EditorButton> polled;
    std::set<std::int32_t> replaced;
    bool escape = false;
    bool discard = false;
    std::string answer;
    std::vector<PopupEntry> shownMenu;
    std::vector<std::string> log;

private:
    PageEditorModel& m_model;
};

// Records every call with its arguments and the turns the page has at the call.
class RecordingOperations final : public EditorOperations
{
public:
    explicit RecordingOperations(PageEditorModel& model)
        : m_model(model)
    {}

    void paginate(std::int32_t page) override { record("paginate", page, 0); }

    void flatFieldCorrect(std::int32_t page, bool silent) override { record("flat", page, silent ? 1 : 0); }

    void deGray(std::int32_t page) override { record("degray", page, 0); }

    void whiteBalance(std::int32_t page, std::int8_t mode) override { record("balance", page, mode); }

    void invert(std::int32_t page) override { record("invert", page, 0); }

    void changeBitDepth(std::int32_t page, std::uint8_t mode) override { record("depth", page, mode); }

    double straightenType1(std::int32_t page, const std::string& file, std::uint8_t turns) override
    {
        files.push_back(file);
        record("straighten1", page, turns);
        return straightenResult;
    }

    double straightenType2(std::int32_t page, const std::string& file, std::uint8_t turns) override
    {
        files.push_back(file);
        record("straighten2", page, turns);
        return straightenResult;
    }

    // "name page argument turns"
    std::vector<std::string> calls;
    std::vector<std::string> files;
    double straightenResult = NoStraightenAngle;

private:
    void record(const char* name, std::int32_t page, int argument)
    {
        calls.push_back(
            std::string(name) + " " + std::to_string(page) + " " + std::to_string(argument) + " " +
            std::to_string(m_model.turns(page)));
    }

    PageEditorModel& m_model;
};

struct ControllerFixture
{
    explicit ControllerFixture(int pages, const std::string& destinationType = "PDF")
    {
        allocateMainProgramTables(shell);
        shell.settingsState.settings.TmpPath = dir.path().string();
        for (int n = 1; n <= pages; ++n) {
            testing::writeFile(dir.file("TmpReadyImg" + std::to_string(n) + ".bmp"), "page");
        }
        model = std::make_unique<PageEditorModel>(shell, files, ui, 0, destinationType);
        model->open(1820);
        model->markUnchanged();
        view = std::make_unique<FakeView>(*model);
        operations = std::make_unique<RecordingOperations>(*model);
        controller = std::make_unique<EditorController>(*model, input, editors, *view, *operations);
    }

    bool menu(std::int32_t item, std::int32_t page = 0)
    {
        if (page != 0) {
            input.ClickedHandle = handleOf(page);
        }
        return controller->handle({EditorEventKind::Menu, -1, item});
    }

    bool button(EditorButton button)
    {
        view->clicked.insert(button);
        return controller->handle({});
    }

    bool click(std::int32_t page, std::uint32_t message)
    {
        input.ClickedHandle = handleOf(page);
        input.ClickMessage = message;
        return controller->handle({});
    }

    std::vector<int> turns() const
    {
        std::vector<int> result;
        for (std::int32_t p = 1; p <= model->PageCount(); ++p) {
            result.push_back(model->turns(p));
        }
        return result;
    }

    TempDir dir;
    ShellState shell;
    SystemFileOps real;
    testing::RecordingFileOps files{real};
    testing::RecordingEditorUi ui;
    PageEditorInput input;
    ExternalEditorTables editors;
    std::unique_ptr<PageEditorModel> model;
    std::unique_ptr<FakeView> view;
    std::unique_ptr<RecordingOperations> operations;
    std::unique_ptr<EditorController> controller;
};

TEST(EditorControllerTest, DispatchTakesTheFirstMatchAndLeavesLaterClicksPending)
{
    ControllerFixture f(2);
    f.view->clicked = {EditorButton::AllRight, EditorButton::AllRestore};
    f.input.ClickedHandle = handleOf(1);

    // The turn runs first; "löschen" waits for the next event. The restore button lies after both.
    EXPECT_FALSE(f.controller->handle({EditorEventKind::Menu, -1, 1020}));
    EXPECT_EQ(f.turns(), (std::vector<int>{1, 1}));
    EXPECT_FALSE(f.model->markedForDeletion(1));
    EXPECT_TRUE(f.view->clicked.count(EditorButton::AllRestore));

    f.menu(1020);
    EXPECT_TRUE(f.model->markedForDeletion(1));
    EXPECT_TRUE(f.view->clicked.count(EditorButton::AllRestore));
    // The next event of any kind acts on it.
    f.controller->handle({});
    EXPECT_FALSE(f.view->clicked.count(EditorButton::AllRestore));
    EXPECT_EQ(f.turns(), (std::vector<int>{0, 0}));

    // An item of the main menu matches nothing.
    const std::vector<std::string> before = f.view->log;
    f.view->clicked.clear();
    f.menu(57);
    EXPECT_EQ(f.view->log, before);
    EXPECT_TRUE(f.operations->calls.empty());
}

TEST(EditorControllerTest, CloseOfTheEditorOrCancelOrEscEndsTheLoopOthersDoNot)
{
    ControllerFixture f(1);
    EXPECT_FALSE(f.controller->handle({EditorEventKind::Close, -1, 0, false}));
    EXPECT_TRUE(f.view->log.empty());

    struct Case
    {
        const char* name;
        EditorEvent event;
        EditorButton button;
        bool escape;
        const char* effect;
    };

    const Case cases[] = {
        {"editor close", {EditorEventKind::Close, -1, 0, true}, EditorButton::Options, false, "cancel"},
        {"Abbruch", {}, EditorButton::Cancel, false, "cancel"},
        {"Esc", {}, EditorButton::Options, true, "cancel"},
        {"Anwenden", {}, EditorButton::Apply, false, "apply"},
    };
    for (const Case& c : cases) {
        ControllerFixture g(1);
        if (c.button != EditorButton::Options) {
            g.view->clicked.insert(c.button);
        }
        g.view->escape = c.escape;
        EXPECT_TRUE(g.controller->handle(c.event)) << c.name;
        EXPECT_EQ(g.view->log, std::vector<std::string>{c.effect}) << c.name;
    }
}

// The editor's close request ends the editor at once only with nothing pending; with pending edits it
// asks, and only a yes throws them away.
TEST(EditorControllerTest, CloseRequestAsksBeforeItDiscardsPendingEdits)
{
    struct Case
    {
        const char* name;
        std::function<void(ControllerFixture&)> edit;
        bool discard;
        std::vector<std::string> log;
        bool finished;
    };

    const std::vector<std::string> asked{"confirm discard"};
    const std::vector<std::string> askedAndCancelled{"confirm discard", "cancel"};
    const Case cases[] = {
        {"nothing pending", [](ControllerFixture&) {}, false, {"cancel"}, true},
        {"a turn, kept", [](ControllerFixture& f) { f.model->turnRight(1); }, false, asked, false},
        {"a turn, discarded",
         [](ControllerFixture& f) { f.model->turnRight(1); },
         true,
         askedAndCancelled,
         true},
        {"an angle", [](ControllerFixture& f) { f.model->setAngle(2, 1.5); }, false, asked, false},
        {"a working copy",
         [](ControllerFixture& f) { testing::writeFile(workingCopyPath(f.model->pagePath(1)), "copy"); },
         false,
         asked,
         false},
        {"a deletion mark", [](ControllerFixture& f) { f.model->markForDeletion(2); }, false, asked, false},
        {"a cleared blank mark",
         [](ControllerFixture& f) {
             f.model->state().table.rows[0].pageEmpty = "1";
             f.model->markUnchanged();
             f.model->clearBlankMark(1);
         },
         false,
         asked,
         false},
        {"a new order", [](ControllerFixture& f) { f.model->MovePage(2, 1); }, false, asked, false},
        {"a split point",
         [](ControllerFixture& f) { f.model->state().SplitToggles[1].pressed = true; },
         false,
         asked,
         false},
        {"a turn undone",
         [](ControllerFixture& f) {
             for (int n = 0; n < 4; ++n) {
                 f.model->turnRight(1);
             }
         },
         false,
         {"cancel"},
         true},
    };
    for (const Case& c : cases) {
        ControllerFixture f(2);
        c.edit(f);
        f.view->discard = c.discard;
        EXPECT_EQ(f.controller->handle({EditorEventKind::Close, -1, 0, true}), c.finished) << c.name;
        EXPECT_EQ(f.view->log, c.log) << c.name;
    }

    // "Abbruch" and Esc ask nothing.
    ControllerFixture f(1);
    f.model->turnRight(1);
    f.view->escape = true;
    EXPECT_TRUE(f.controller->handle({}));
    EXPECT_EQ(f.view->log, std::vector<std::string>{"cancel"});
}

TEST(EditorControllerTest, ClicksTurnAndOpenMenusOnUnmarkedPagesOnly)
{
    ControllerFixture f(3);
    for (int n = 0; n < 4; ++n) {
        f.click(1, LeftButtonUpMessage);
    }
    EXPECT_EQ(f.model->turns(1), 0);
    EXPECT_EQ(f.input.ClickMessage, 0u);
    EXPECT_EQ(f.input.ClickedHandle, NoHandle);

    // A left click on a page marked either way changes nothing and shows no menu.
    f.model->markForDeletion(2);
    f.model->state().table.rows[2].pageEmpty = "1";
    for (const std::int32_t marked : {2, 3}) {
        f.view->log.clear();
        f.click(marked, LeftButtonUpMessage);
        EXPECT_TRUE(f.view->log.empty()) << marked;
        EXPECT_EQ(f.model->turns(marked), 0) << marked;
        EXPECT_EQ(f.input.ClickMessage, 0u);
        EXPECT_EQ(f.input.ClickedHandle, NoHandle);
    }
    f.model->state().table.rows[2].pageEmpty = "0";

    f.click(2, RightButtonUpMessage);
    EXPECT_EQ(f.view->log, std::vector<std::string>{"marked menu"});
    EXPECT_EQ(f.input.ClickedHandle, handleOf(2)); // kept for the command that follows
    EXPECT_EQ(f.input.ClickMessage, 0u);

    f.editors.AnzExtEditors = 1;
    f.editors.EditorName = {"", "Gimp"};
    f.click(3, RightButtonUpMessage);
    EXPECT_EQ(f.view->shownMenu, pageContextMenu(f.editors, false));
    f.model->setAngle(3, 1.0);
    f.click(3, RightButtonUpMessage);
    EXPECT_EQ(f.view->shownMenu, pageContextMenu(f.editors, true));

    // A thumbnail replaced since the click: nothing happens, the record is cleared.
    f.view->replaced.insert(3);
    f.view->log.clear();
    f.menu(1010, 3);
    EXPECT_TRUE(f.view->log.empty());
    EXPECT_EQ(f.input.ClickedHandle, NoHandle);
}

TEST(EditorControllerTest, ContextMenuHoldsTheTableWithRestoreOnlyForEditedPages)
{
    ExternalEditorTables editors;
    editors.AnzExtEditors = 2;
    editors.EditorName = {"", "Gimp", "Krita"};
    const std::vector<PopupEntry> plain = pageContextMenu(editors, false);
    const std::vector<PopupEntry> edited = pageContextMenu(editors, true);

    std::vector<std::int32_t> ids;
    for (const PopupEntry& entry : edited) {
        ids.push_back(entry.separator ? -1 : entry.id);
    }
    EXPECT_EQ(ids, (std::vector<std::int32_t>{1000, 1010, 1015, 1017, 1018, -1,   1050, 1051,
                                              1053, 1057, -1,   1040, 0,    1090, 1080, 1060,
                                              -1,   1020, -1,   0,    -1,   1028, -1,   1030}));
    EXPECT_EQ(plain.size() + 2, edited.size());
    EXPECT_EQ(plain[plain.size() - 3].text, "in externem Bildbearbeitungsprogramm öffnen");

    const PopupEntry& balance = edited[12];
    EXPECT_EQ(balance.text, "automatischer Weißabgleich");
    ASSERT_EQ(balance.submenu.size(), 5u);
    EXPECT_EQ(balance.submenu[4], menuItem(1078, "über Weißpunkt-Einstellungen"));
    const PopupEntry& external = edited[19];
    EXPECT_EQ(
        external.submenu,
        (std::vector<PopupEntry>{
            menuItem(10000, "MS-Paint"), menuItem(10001, "Gimp"), menuItem(10002, "Krita")}));
}

TEST(EditorControllerTest, TurnsMarksAndRestore)
{
    ControllerFixture f(3);
    f.model->markForDeletion(2);
    f.model->state().table.rows[2].pageEmpty = "1";

    f.button(EditorButton::AllHalf);
    f.button(EditorButton::AllHalf);
    EXPECT_EQ(f.turns(), (std::vector<int>{0, 0, 0}));
    f.button(EditorButton::AllLeft);
    EXPECT_EQ(f.turns(), (std::vector<int>{3, 3, 3}));
    // Marked pages are turned too and keep their marks.
    EXPECT_TRUE(f.model->markedForDeletion(2));
    EXPECT_TRUE(f.model->markedBlank(3));

    f.menu(1020, 1);
    EXPECT_TRUE(f.model->markedForDeletion(1));
    EXPECT_EQ(f.view->log.back(), "rebuild 1");
    f.model->state().table.rows[0].pageEmpty = "1";
    f.menu(1025, 1);
    EXPECT_FALSE(f.model->markedForDeletion(1));
    EXPECT_TRUE(f.model->markedBlank(1));
    f.menu(1027, 1);
    EXPECT_FALSE(f.model->markedBlank(1));

    testing::writeFile(workingCopyPath(f.model->pagePath(1)), "copy");
    f.model->setAngle(1, 2.0);
    f.menu(1028, 1);
    EXPECT_FALSE(f.model->isEdited(1));
    EXPECT_EQ(f.input.ClickedHandle, NoHandle);

    f.view->log.clear();
    f.button(EditorButton::AllRestore);
    EXPECT_EQ(
        f.ui.waitEvents,
        (std::vector<std::string>{
            "open: stelle Originalbilder wieder her (3/3)...",
            "text: stelle Originalbilder wieder her (1/3)...",
            "text: stelle Originalbilder wieder her (2/3)...",
            "text: stelle Originalbilder wieder her (3/3)...",
            "close"}));
    EXPECT_EQ(f.view->log, (std::vector<std::string>{"rebuild 2", "drain", "rebuild 3", "drain"}));
    EXPECT_EQ(f.turns(), (std::vector<int>{0, 0, 0}));
}

TEST(EditorControllerTest, FreeAngleProposalAndAnswers)
{
    EXPECT_EQ(freeAngleProposal(2.5), "-2,5");
    EXPECT_EQ(freeAngleProposal(0.0), "0");
    EXPECT_EQ(freeAngleProposal(-10.0), "10");
    EXPECT_EQ(freeAngleProposal(1.0 / 3.0), "-0,3333333333");

    struct Case
    {
        const char* answer;
        double stored;
    };

    const Case cases[] = {
        {"1,5", -1.5},
        {"-0,25", 0.25},
        {"1e1", -10.0},
        {" +3x", -3.0},
        {"0", 0.0},
        {"abc", 2.5},
        {"", 2.5},
        // Only finite numbers are angles.
        {"inf", 2.5},
        {"-inf", 2.5},
        {"infinity", 2.5},
        {"INF", 2.5},
        {"nan", 2.5},
        {"-nan", 2.5},
        {"1e400", 2.5},
        // A finite angle is kept within one full circle, with its sign.
        {"370", -10.0},
        {"-370", 10.0},
        {"720", 0.0},
        {"-1080,5", 0.5},
        {"1e20", -std::fmod(1e20, 360.0)},
        {"-1e300", std::fmod(1e300, 360.0)},
    };
    for (const Case& c : cases) {
        ControllerFixture f(1);
        f.model->setAngle(1, 2.5);
        f.view->answer = c.answer;
        f.menu(1015, 1);
        EXPECT_EQ(f.model->angle(1), c.stored) << c.answer;
        EXPECT_EQ(f.view->log.front(), "rebuild 1");
        EXPECT_EQ(f.view->log[1], "ask freier Drehwinkel|freien Drehwinkel eingeben:|-2,5");
        EXPECT_EQ(f.view->log.back() == "angle 1", c.stored != 0.0) << c.answer;
    }
}

TEST(EditorControllerTest, StraighteningKeepsOrReplacesTheAngle)
{
    ControllerFixture f(2);
    f.model->setAngle(1, 4.0);
    f.model->markForDeletion(2);
    f.model->turnRight(2);
    f.menu(1017, 1);
    EXPECT_EQ(f.model->angle(1), 4.0);
    EXPECT_EQ(f.ui.waitEvents, (std::vector<std::string>{"open: auto-Begradigen Typ 1...", "close"}));

    testing::writeFile(workingCopyPath(f.model->pagePath(1)), "copy");
    f.operations->straightenResult = -1.25;
    f.menu(1018, 1);
    EXPECT_EQ(f.model->angle(1), -1.25);
    EXPECT_EQ(f.operations->files.back(), workingCopyPath(f.model->pagePath(1)));

    f.ui.waitEvents.clear();
    f.operations->calls.clear();
    f.view->log.clear();
    f.operations->straightenResult = 0.5;
    f.button(EditorButton::AllStraighten1);
    EXPECT_EQ(f.operations->calls, (std::vector<std::string>{"straighten1 1 0 0", "straighten1 2 1 1"}));
    EXPECT_EQ(f.model->angle(2), 0.5);
    EXPECT_EQ(
        f.ui.waitEvents,
        (std::vector<std::string>{
            "open: begradige Bild 1/2...",
            "text: begradige Bild 1/2...",
            "text: begradige Bild 2/2...",
            "close"}));
    EXPECT_EQ(f.view->log, (std::vector<std::string>{"drop one", "rebuild 1", "drop one", "rebuild 2"}));
}

struct OperationCase
{
    const char* name;
    std::int32_t item; // 0: a button
    EditorButton button;
    std::vector<std::string> calls; // "name page argument turns"
    std::vector<std::string> wait;
};

TEST(EditorControllerTest, PageOperationsPassTheirPagesArgumentsAndWaitTexts)
{
    // Three pages: page 2 marked for deletion, page 3 with one pending turn; menu commands act on page 2
    // (skipped) and then on page 3.
    const EditorButton none = EditorButton::Options;
    const std::vector<OperationCase> cases = {
        {"1060", 1060, none, {"paginate 3 0 1"}, {"open: paginiere Bild...", "close"}},
        {"alle paginieren",
         0,
         EditorButton::AllPaginate,
         {"paginate 1 0 0", "paginate 2 0 0", "paginate 3 0 1"},
         {"open: Paginieren... (3/3)...",
          "text: Paginieren... (1/3)...",
          "text: Paginieren... (2/3)...",
          "text: Paginieren... (3/3)...",
          "close"}},
        {"1090", 1090, none, {"flat 3 0 1"}, {"open: Referenzbildverbesserung (2/2) - 000%...", "close"}},
        {"alle Ref.-Bild",
         0,
         EditorButton::AllFlatField,
         {"flat 1 1 0", "flat 2 1 0"},
         {"open: Referenzbildverbesserung (2/2) - 000%...", "close"}},
        {"1040", 1040, none, {"degray 3 0 1"}, {"open: entgraue Bild 3/3 (100%)...", "close"}},
        {"alle entgrauen",
         0,
         EditorButton::AllDeGray,
         {"degray 1 0 0", "degray 2 0 0", "degray 3 0 1"},
         {"open: entgraue Bild 3/3 (100%)...", "close"}},
        {"1073", 1073, none, {"balance 3 1 1"}, {}},
        {"1070", 1070, none, {"balance 3 2 1"}, {}},
        {"1076", 1076, none, {"balance 3 3 1"}, {}},
        {"1071", 1071, none, {"balance 3 4 1"}, {}},
        {"1078", 1078, none, {"balance 3 5 1"}, {}},
        {"alle Weißabgl.",
         0,
         EditorButton::AllWhiteBalance,
         {"balance 1 2 0", "balance 2 2 0", "balance 3 2 1"},
         {}},
        {"1080", 1080, none, {"invert 3 0 1"}, {}},
        {"alle invertieren",
         0,
         EditorButton::AllInvert,
         {"invert 1 0 0", "invert 2 0 0", "invert 3 0 1"},
         {}},
        {"1050", 1050, none, {"depth 3 1 1"}, {"open: ändere Bittiefe zu schwarz/weiß...", "close"}},
        {"1051",
         1051,
         none,
         {"depth 3 2 1"},
         {"open: ändere Bittiefe zu schwarz/weiß (dithered)...", "close"}},
        {"1053", 1053, none, {"depth 3 3 1"}, {"open: ändere Bittiefe zu Graustufen...", "close"}},
        {"1057", 1057, none, {"depth 3 4 1"}, {"open: ändere Bittiefe zu Vollfarbe...", "close"}},
        {"alle s/w dith.",
         0,
         EditorButton::AllBlackWhiteDithered,
         {"depth 1 2 0", "depth 2 2 0", "depth 3 2 1"},
         {"open: ändere Bittiefe zu schwarz/weiß dithered (3/3)...",
          "text: ändere Bittiefe zu schwarz/weiß dithered (1/3)...",
          "text: ändere Bittiefe zu schwarz/weiß dithered (2/3)...",
          "text: ändere Bittiefe zu schwarz/weiß dithered (3/3)...",
          "close"}},
        {"alle s/w",
         0,
         EditorButton::AllBlackWhite,
         {"depth 1 1 0", "depth 2 1 0", "depth 3 1 1"},
         {"open: ändere Bittiefe zu schwarz/weiß (3/3)...",
          "text: ändere Bittiefe zu schwarz/weiß (1/3)...",
          "text: ändere Bittiefe zu schwarz/weiß (2/3)...",
          "text: ändere Bittiefe zu schwarz/weiß (3/3)...",
          "close"}},
        {"alle Graust.",
         0,
         EditorButton::AllGrey,
         {"depth 1 3 0", "depth 2 3 0", "depth 3 3 1"},
         {"open: ändere Bittiefe zu Graustufen (3/3)...",
          "text: ändere Bittiefe zu Graustufen (1/3)...",
          "text: ändere Bittiefe zu Graustufen (2/3)...",
          "text: ändere Bittiefe zu Graustufen (3/3)...",
          "close"}},
        {"alle Farbe",
         0,
         EditorButton::AllColour,
         {"depth 1 4 0", "depth 2 4 0", "depth 3 4 1"},
         {"open: ändere Bittiefe zu Vollfarbe (3/3)...",
          "text: ändere Bittiefe zu Vollfarbe (1/3)...",
          "text: ändere Bittiefe zu Vollfarbe (2/3)...",
          "text: ändere Bittiefe zu Vollfarbe (3/3)...",
          "close"}},
    };
    for (const OperationCase& c : cases) {
        ControllerFixture f(3);
        f.model->markForDeletion(2);
        f.model->turnRight(3);
        std::size_t rebuilds = 0;
        if (c.item != 0) {
            f.menu(c.item, 2);
            EXPECT_TRUE(f.operations->calls.empty()) << c.name;
            f.ui.waitEvents.clear();
            f.menu(c.item, 3);
            rebuilds = 1;
        } else {
            f.button(c.button);
            rebuilds = c.calls.size();
        }
        EXPECT_EQ(f.operations->calls, c.calls) << c.name;
        EXPECT_EQ(f.ui.waitEvents, c.wait) << c.name;
        std::size_t rebuilt = 0;
        for (const std::string& entry : f.view->log) {
            rebuilt += entry.rfind("rebuild", 0) == 0 ? 1 : 0;
        }
        EXPECT_EQ(rebuilt, rebuilds) << c.name;
        EXPECT_TRUE(f.model->markedForDeletion(2)) << c.name;
    }

    // With one page the reference-image button has nothing to correct.
    ControllerFixture one(1);
    one.button(EditorButton::AllFlatField);
    EXPECT_TRUE(one.operations->calls.empty());
    EXPECT_EQ(
        one.ui.waitEvents,
        (std::vector<std::string>{"open: Referenzbildverbesserung (0/0) - 000%...", "close"}));
}

TEST(EditorControllerTest, ColourDepthTestsTheMenuItemBeforeTheButton)
{
    ControllerFixture f(1);
    f.view->clicked.insert(EditorButton::AllGrey);
    f.menu(1053, 1);
    EXPECT_EQ(f.operations->calls, std::vector<std::string>{"depth 1 3 0"});
    EXPECT_TRUE(f.view->clicked.count(EditorButton::AllGrey));
    f.controller->handle({});
    EXPECT_EQ(f.operations->calls.size(), 2u);
    EXPECT_FALSE(f.view->clicked.count(EditorButton::AllGrey));
}

TEST(EditorControllerTest, ExternalEditorsAndSplitTogglesRunAfterTheBranch)
{
    ControllerFixture f(3, "PDF");
    f.editors.AnzExtEditors = 1;
    f.menu(10001, 2);
    f.menu(10002, 2);
    f.controller->handle({EditorEventKind::Control, 601, 0});
    f.controller->handle({EditorEventKind::Control, 501, 0});
    EXPECT_EQ(f.view->log, (std::vector<std::string>{"editor 2 1", "relabel", "pick white"}));

    ControllerFixture bmp(3, "BMP");
    bmp.controller->handle({EditorEventKind::Control, 601, 0});
    EXPECT_TRUE(bmp.view->log.empty());
}

} // namespace
} // namespace folvex
