// The editor from the keyboard alone, run in process on the headless backend: [ and ] turn the
// stage's camera and their characters go no further, Enter keeps the turn in a key, the menus
// open by Alt+letter and run their items by letter, Delete All Keys' question moves to No by Tab,
// and the manual lists every menu item's letter as the menus have it.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "tests/editor/app/editor_session.h"

using namespace kv;
using kvtest::EditorSession;

namespace {

const std::string Example = std::string(KV_SOURCE_DIR) + "/examples/example.jpg";

class EditorKeys : public EditorSession {
protected:
    void StartOnExample(const std::vector<int>& times = {0, 30, 90}) {
        ASSERT_TRUE(Start({WriteShow("example.kvx", Example, times)}));
    }
    // A key with Shift held, and the character it types.
    static void ShiftKey(int vk, char typed) {
        headless::KeyDown(VK_SHIFT);
        headless::Key(vk);
        headless::Type(std::string(1, typed));
        headless::KeyUp(VK_SHIFT);
    }
    static void KeyAndChar(int vk, char typed) {
        headless::Key(vk);
        headless::Type(std::string(1, typed));
    }
    // The alerts that named the picture file (F12's, and today also the { character's).
    static int PictureAlerts() {
        int n = 0;
        for (const std::string& t : headless::MessageBoxTexts())
            if (t.find("example.jpg") != std::string::npos) ++n;
        return n;
    }
};

}  // namespace

TEST_F(EditorKeys, BracketsTurnTheStageCameraAndTheirCharactersGoNoFurther) {
    StartOnExample();
    std::vector<float> turns;
    int alertsAfterTurning = -1, alertsAfterF12 = -1, alertsFromTimeline = -1;
    bool rotationInUse = false;
    Step([this] {
        SetFocus(Main().stage->hwnd);
        Session().camera.rotation = 0.0f;
        KeyAndChar(VK_OEM_6, ']');
    });
    Step([&] {
        turns.push_back(Session().camera.rotation);
        KeyAndChar(VK_OEM_4, '[');
        KeyAndChar(VK_OEM_4, '[');
    });
    Step([&] {
        turns.push_back(Session().camera.rotation);
        ShiftKey(VK_OEM_6, '}');
    });
    Step([&] {
        turns.push_back(Session().camera.rotation);
        ShiftKey(VK_OEM_4, '{');  // { is the picture alert's character: swallowed here
    });
    Step([&] {
        turns.push_back(Session().camera.rotation);
        rotationInUse = TheShow().rotationInUse;
        alertsAfterTurning = PictureAlerts();
        headless::Key(VK_F12);  // the alert itself still comes from F12
    });
    Step([&] {
        alertsAfterF12 = PictureAlerts();
        // On the timeline the brackets turn nothing, and Shift+[ is still no alert.
        SetFocus(Main().timeline->hwnd);
        ShiftKey(VK_OEM_4, '{');
        KeyAndChar(VK_OEM_6, ']');
    });
    Step([&] {
        alertsFromTimeline = PictureAlerts();
        turns.push_back(Session().camera.rotation);
    });
    Step([this] { TheShow().dirty = false; });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    EXPECT_EQ(turns, (std::vector<float>{1.0f, -1.0f, 9.0f, -1.0f, -1.0f}));
    EXPECT_TRUE(rotationInUse);
    EXPECT_EQ(alertsAfterTurning, 0);
    EXPECT_EQ(alertsAfterF12, 1);
    EXPECT_EQ(alertsFromTimeline, 1);
}

TEST_F(EditorKeys, EnterKeepsTheTurnInTheNewKey) {
    StartOnExample({0, 30, 90});
    Step([this] {
        SetFocus(Main().stage->hwnd);
        Session().GoToFrame(12, true);
        Session().camera.rotation = 0.0f;
        KeyAndChar(VK_OEM_6, ']');
        ShiftKey(VK_OEM_6, '}');
    });
    KeyDown(VK_RETURN);
    Step([this] {
        const Picture& pic = TheShow().pictures[0];
        ASSERT_EQ(pic.keyCount, 4);
        EXPECT_EQ(pic.keys[1].time, 12);
        EXPECT_FLOAT_EQ(pic.keys[1].rotation, 11.0f);
        EXPECT_FLOAT_EQ(pic.keys[0].rotation, 0.0f);
        TheShow().dirty = false;
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
}

TEST_F(EditorKeys, DeleteAllKeysFromTheKeyboardKeepsTheKeysOnNo) {
    StartOnExample({0, 30, 90});
    headless::UseLayerDialogs(true);
    int keysAfterNo = -1, keysAfterYes = -1;
    MenuTrackingState opened;
    bool askedOnNo = false;
    // Alt+E, the item's letter (E: Delete All Keys), Tab to No, Enter.
    Step([&] {
        SetFocus(Main().stage->hwnd);
        headless::KeyDown(VK_MENU);
        headless::Key('E');
        headless::KeyUp(VK_MENU);
    });
    Step([&] {
        opened = GetMenuTrackingState();
        headless::Key('E');
        headless::Type("e");
    });
    Step([&] {
        for (HWND h : AllWindows())
            askedOnNo |= GetWindowText(h) == "Delete All Keys" && IsWindowVisible(h);
        headless::Key(VK_TAB);
        headless::Key(VK_RETURN);
    });
    Step([&] {
        keysAfterNo = TheShow().pictures[0].keyCount;
        // F10 opens File, Right goes on to Edit, and Down reaches Delete All Keys.
        headless::Key(VK_F10);
        headless::Key(VK_RIGHT);
    });
    Step([&] {
        const HMENU edit = GetSubMenu(GetMenu(MainHwnd()), 1);
        int target = -1;
        for (int i = 0; i < GetMenuItemCount(edit); ++i)
            if (GetMenuItemText(edit, i) == "Delete All Keys") target = i;
        ASSERT_GE(target, 0);
        for (int n = 0; n < 20 && GetMenuTrackingState().hot != target; ++n) headless::Key(VK_DOWN);
        EXPECT_EQ(GetMenuTrackingState().hot, target);
        headless::Key(VK_RETURN);
    });
    Step([] { headless::Key(VK_RETURN); });  // Yes
    Step([&] {
        keysAfterYes = TheShow().pictures[0].keyCount;
        TheShow().dirty = false;
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    headless::UseLayerDialogs(false);
    EXPECT_NE(opened.owner, nullptr);
    EXPECT_EQ(opened.barIndex, 1);
    EXPECT_TRUE(askedOnNo);
    EXPECT_EQ(keysAfterNo, 3);
    EXPECT_EQ(keysAfterYes, 1);  // Delete All Keys keeps the first
}

// The manual's table of menu letters, row for row as the menus have them, in both modes.
TEST_F(EditorKeys, TheManualListsEveryMenuItemsLetter) {
    const std::string manual =
        kvtest::ReadFileBytes(std::string(KV_SOURCE_DIR) + "/docs/manual/index.html");
    ASSERT_FALSE(manual.empty());
    auto html = [](const std::string& text) {
        std::string out;
        for (char c : text) out += c == '&' ? std::string("&amp;") : std::string(1, c);
        return out;
    };
    auto rowsOfBar = [&html](HMENU bar) {
        std::vector<std::string> rows;
        for (int t = 0; t < GetMenuItemCount(bar); ++t) {
            const std::string title = GetMenuItemText(bar, t);
            std::string row = "<tr><td><kbd>Alt+";
            row += static_cast<char>(std::toupper(GetMenuMnemonic(bar, t)));
            row += "</kbd> " + title + "</td><td>";
            const HMENU m = GetSubMenu(bar, t);
            bool first = true;
            for (int i = 0; i < GetMenuItemCount(m); ++i) {
                const char letter = GetMenuMnemonic(m, i);
                if (!letter) continue;
                const std::string text = GetMenuItemText(m, i);
                row += first ? "" : ", ";
                row += "<kbd>";
                row += static_cast<char>(std::toupper(letter));
                row += "</kbd> " + html(text.substr(0, text.find('\t')));
                first = false;
            }
            rows.push_back(row + "</td></tr>");
        }
        return rows;
    };
    StartOnExample();
    std::vector<std::string> standAlone;
    Step([&] {
        standAlone = rowsOfBar(GetMenu(MainHwnd()));
        TheShow().dirty = false;
    });
    Close();
    EXPECT_EQ(RunToEnd(), 0);
    kvtest::WriteFileBytes(dir + "/kvdata.kvx", kvtest::ReadFileBytes(dir + "/example.kvx"));
    ASSERT_TRUE(Start({"?2997,300"}));
    std::vector<std::string> host;
    Step([&] { host = rowsOfBar(GetMenu(MainHwnd())); });
    Command(CmdQuitDiscard);
    EXPECT_EQ(RunToEnd(), 1);
    ASSERT_EQ(standAlone.size(), 6u);
    ASSERT_EQ(host.size(), 6u);
    for (const std::string& row : standAlone)
        EXPECT_NE(manual.find(row), std::string::npos) << "the manual lacks\n" << row;
    // Host mode differs in the File menu only; its row is the manual's too.
    EXPECT_NE(host[0], standAlone[0]);
    EXPECT_NE(manual.find(host[0]), std::string::npos) << "the manual lacks\n" << host[0];
    for (size_t i = 1; i < host.size(); ++i) EXPECT_EQ(host[i], standAlone[i]);
}
