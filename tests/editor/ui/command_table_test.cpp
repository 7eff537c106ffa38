// The command table: the menus built from it item for item in both runs of the editor (text,
// shortcut, order, separators), the keyboard mapping taken from the same rows, and the greying
// and check marks as functions of the editing session.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/base/settings.h"
#include "core/show/show.h"
#include "editor/ui/command_table.h"
#include "editor/ui/session/edit_session.h"

using namespace kv;

namespace {

// "Popup|Item" per line, "Popup|-" for a separator.
std::vector<std::string> Flatten(const std::vector<MenuLine>& lines) {
    std::vector<std::string> out;
    for (const MenuLine& l : lines) out.push_back(l.popup + "|" + (l.id < 0 ? "-" : l.text));
    return out;
}

const std::vector<std::string> TheRest = {
    "Edit|Undo/Z",
    "Edit|Redo/Y",
    "Edit|-",
    "Edit|Cut/X",
    "Edit|Copy/C",
    "Edit|Paste/V",
    "Edit|Delete",
    "Edit|-",
    "Edit|Delete All Keys",
    "Edit|Uniform Speed",
    "Edit|Prep Picture",
    "Edit|Suggest Move",
    "Options|Show Camera Path",
    "Options|Auto-Rescale Show",
    "Options|-",
    "Options|Slow-in & Slow Out",
    "Options|Slow-in",
    "Options|Slow-out",
    "Options|No Slows",
    "Options|-",
    "Options|No Curves",
    "Render|4:3 Aspect Ratio",
    "Render|16:9 Aspect Ratio",
    "Render|LetterBox 16:9",
    "Render|9:16 Vertical",
    "Render|1:1 Square",
    "Render|4:5 Portrait",
    "Render|-",
    "Render|Draft quality",
    "Render|Add Motion Blur",
    "Render|Multiple Processors",
    "Render|-",
    "Render|Advanced Options",
    "View|Center Pic on Stage",
    "View|Show TV Safe Area",
    "View|-",
    "View|Stage Zoom In",
    "View|Stage Zoom Out",
    "View|Fit Picture on Stage",
    "View|-",
    "View|Enlarge Timeline/>",
    "View|Contract Timeline/<",
    "Help|Contents",
    "Help|About",
};

std::vector<std::string> Expected(std::vector<std::string> file) {
    file.insert(file.end(), TheRest.begin(), TheRest.end());
    return file;
}

class Commands : public ::testing::Test {
protected:
    void SetUp() override {
        const char text[] = "[Kinevista]\r\n";
        store.LoadText(text, sizeof text - 1);
        session.Attach(&show, &store);
    }
    Show show;
    Settings store;
    EditSession session;
};

}  // namespace

TEST_F(Commands, StandAloneMenusItemForItem) {
    EXPECT_EQ(Flatten(MenuLines(false, session)),
              Expected({"File|Load Picture/E", "File|-", "File|New Show/N", "File|Load Show/O",
                        "File|Save Show/S", "File|-", "File|Make Movie File/K",
                        "File|Batch Render Movies", "File|Make Still Image/T", "File|-",
                        "File|NTSC", "File|PAL", "File|Film", "File|-", "File|Exit/Q"}));
}

TEST_F(Commands, HostMenusItemForItem) {
    EXPECT_EQ(Flatten(MenuLines(true, session)),
              Expected({"File|Load Picture/E", "File|-", "File|New Show/N", "File|Load Show/O",
                        "File|Save Show/S", "File|-", "File|Apply Moves and Close/Q",
                        "File|Quit - DON'T Apply changes"}));
    // The same id names the mode's own row.
    ASSERT_NE(FindCommand(CmdExit, true), nullptr);
    EXPECT_STREQ(FindCommand(CmdExit, true)->text, "Apply Moves and Close");
    EXPECT_STREQ(FindCommand(CmdExit, false)->text, "Exit");
    EXPECT_EQ(FindCommand(CmdMakeMovie, true), nullptr);
    EXPECT_EQ(FindCommand(CmdQuitDiscard, false), nullptr);
}

TEST_F(Commands, EveryIdHasOneRowPerModeAndOnlyMenuRowsAreOnMenus) {
    for (bool host : {false, true}) {
        std::vector<int> seen;
        for (const CommandRow& row : CommandTable()) {
            if (row.id == MenuSeparator || !InMode(row, host)) continue;
            for (int id : seen) EXPECT_NE(id, row.id) << row.text;
            seen.push_back(row.id);
        }
    }
    // Rows without a menu are reachable by id only: Delete Picture and the aspect dialog's 1008.
    for (const MenuLine& l : MenuLines(false, session)) {
        EXPECT_NE(l.id, CmdDeletePicture);
        EXPECT_NE(l.id, CmdViewerAspect);
    }
    ASSERT_NE(FindCommand(CmdDeletePicture, false), nullptr);
    ASSERT_NE(FindCommand(CmdViewerAspect, true), nullptr);
}

TEST_F(Commands, ShortcutsComeFromTheRows) {
    // Ctrl+letter characters of the rows' letters map; other control characters do not.
    EXPECT_EQ(MapShortcut(19), 's');
    EXPECT_EQ(MapShortcut(26), 'z');
    EXPECT_EQ(MapShortcut(5), 'e');
    EXPECT_EQ(MapShortcut(2), 0);  // Ctrl+B is no command's
    EXPECT_EQ(MapShortcut(188), '>');
    EXPECT_EQ(MapShortcut(190), '<');
    EXPECT_EQ(MapShortcut(192), '~');
    EXPECT_EQ(MapShortcut(65), 0);  // a plain key-down A
    ASSERT_NE(CommandForShortcut('s', false), nullptr);
    EXPECT_EQ(CommandForShortcut('s', false)->id, CmdSaveShow);
    EXPECT_NE(CommandForShortcut('s', false)->key, nullptr);  // the quick save
    EXPECT_EQ(CommandForShortcut('k', false)->id, CmdMakeMovie);
    EXPECT_EQ(CommandForShortcut('k', true), nullptr);  // no movies for the host
    EXPECT_EQ(CommandForShortcut('q', true)->id, CmdExit);
    EXPECT_EQ(CommandForShortcut('>', true)->id, CmdEnlargeTimeline);
    EXPECT_EQ(CommandForShortcut('~', false)->run, nullptr);  // reserved: does nothing
}

TEST_F(Commands, GreyingAndChecksFollowTheSession) {
    auto line = [this](int id) {
        for (const MenuLine& l : MenuLines(false, session))
            if (l.id == id) return l;
        ADD_FAILURE() << id;
        return MenuLine{};
    };
    show.selectedKey = 0;
    show.clipboard.time = -9999;
    EXPECT_TRUE(line(CmdCut).greyed);
    EXPECT_TRUE(line(CmdDelete).greyed);
    EXPECT_FALSE(line(CmdCopy).greyed);
    EXPECT_TRUE(line(CmdPaste).greyed);
    EXPECT_TRUE(line(CmdUndo).greyed);
    EXPECT_TRUE(line(CmdRedo).greyed);
    show.selectedKey = 1;
    show.clipboard.time = 30;
    EXPECT_FALSE(line(CmdCut).greyed);
    EXPECT_FALSE(line(CmdDelete).greyed);
    EXPECT_FALSE(line(CmdPaste).greyed);
    show.selectedKey = -1;
    EXPECT_TRUE(line(CmdCopy).greyed);

    // Undo and Redo follow the session's history exactly.
    show.pictures[0].keyCount = 1;
    ASSERT_NE(session.Edit([](Show& s) { s.pictures[0].keys[0].x += 5; }), 0u);
    EXPECT_FALSE(line(CmdUndo).greyed);
    EXPECT_TRUE(line(CmdRedo).greyed);
    session.Undo();
    EXPECT_TRUE(line(CmdUndo).greyed);
    EXPECT_FALSE(line(CmdRedo).greyed);
    session.Redo();
    EXPECT_FALSE(line(CmdUndo).greyed);
    EXPECT_TRUE(line(CmdRedo).greyed);

    // Check marks read the settings every command writes at once.
    EXPECT_TRUE(line(CmdNtsc).checked);
    EXPECT_TRUE(line(CmdEaseInOut).checked);
    store.WriteInt("FrameRate", 2500);
    session.Edit([](Show& s) {
        s.EaseType = 18;
        s.BlurFrames = 3;
    });
    EXPECT_FALSE(line(CmdNtsc).checked);
    EXPECT_TRUE(line(CmdPal).checked);
    EXPECT_TRUE(line(CmdEaseInOut + 2).checked);
    EXPECT_TRUE(line(CmdNoCurves).checked);
    EXPECT_TRUE(line(CmdMotionBlur).checked);
    EXPECT_FALSE(line(CmdDraft).checked);
}

TEST_F(Commands, ShowOptionMarksReadTheShowNotAStoreWrittenElsewhere) {
    auto checked = [this](int id) {
        for (const MenuLine& l : MenuLines(false, session))
            if (l.id == id) return l.checked;
        ADD_FAILURE() << id;
        return false;
    };
    // Another editor wrote the settings file: the show's options did not change, so neither
    // do their marks, and the show is not marked changed.
    store.WriteInt("EaseType", 3 | 16);
    store.WriteInt("BlurFrames", 1);
    store.WriteInt("DraftRender", 1);
    store.WriteInt("AspectMode", 5625);
    EXPECT_TRUE(checked(CmdEaseInOut));
    EXPECT_FALSE(checked(CmdEaseInOut + 3));
    EXPECT_FALSE(checked(CmdNoCurves));
    EXPECT_FALSE(checked(CmdMotionBlur));
    EXPECT_FALSE(checked(CmdDraft));
    EXPECT_TRUE(checked(CmdAspect43));
    EXPECT_FALSE(checked(CmdAspect169));
    EXPECT_FALSE(show.dirty);
    // The show's record moves them, and Undo moves them back though the store says otherwise.
    ASSERT_NE(session.Edit([](Show& s) {
        s.DraftRender = true;
        s.AspectMode = 5625;
    }),
              0u);
    EXPECT_TRUE(checked(CmdDraft));
    EXPECT_TRUE(checked(CmdAspect169));
    session.Undo();
    store.WriteInt("DraftRender", 1);
    EXPECT_FALSE(checked(CmdDraft));
    EXPECT_TRUE(checked(CmdAspect43));
    // A program-wide setting is the store's, not the show's.
    store.WriteInt("MultiProcess", 1);
    EXPECT_TRUE(checked(CmdMultiProcess));
    EXPECT_FALSE(show.MultiProcess);
}

namespace kv {
namespace {

// The options table names the commands by their fixed ids: each is a menu row of the editor,
// and a toggle's check mark follows the setting the table gives it.
TEST(OptionCommands, TheOptionsTableNamesMenuRowsAndTheirMarks) {
    Settings store;
    Show show;
    EditSession& session = Session();
    session.Attach(&show, &store);
    int named = 0;
    for (size_t i = 0; i < ShowOptionRowCount(); ++i) {
        const ShowOptionRow& row = ShowOptionRows()[i];
        if (row.command == 0) continue;
        ++named;
        SCOPED_TRACE(row.name);
        const CommandRow* command = FindCommand(row.command, false);
        ASSERT_NE(command, nullptr);
        EXPECT_STRNE(command->menu, "");
    }
    EXPECT_GE(named, 4);
    for (int id : {int(CmdDraft), int(CmdMotionBlur)}) {
        const CommandRow* command = FindCommand(id, false);
        ASSERT_NE(command, nullptr);
        ASSERT_NE(command->checked, nullptr);
        const ShowOptionRow* row = ShowOptionRowForCommand(id);
        ASSERT_NE(row, nullptr);
        session.Edit([row](Show& s) { row->set(s.Options(), 0); });
        EXPECT_FALSE(command->checked(session)) << row->name;
        session.Edit([row](Show& s) { row->set(s.Options(), 1); });
        EXPECT_TRUE(command->checked(session)) << row->name;
    }
    session.Detach();
}

}  // namespace
}  // namespace kv
