// The editor's command table: one row per command with its id, its menu, its text, its Ctrl
// shortcut, when it is enabled and checked (functions of the editing session) and what it runs.
// The menu bar, both keyboard mappings and the menus' greying and check marks are built from the
// rows, so a new command is one row here plus the one function it runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv {

class CMain;
class EditSession;

// Menu command ids.
enum : int {
    CmdShowCameraPath = 1000,
    CmdAutoRescale = 1002,
    CmdEaseInOut = 1003,  // 1003..1006 the default ease modes
    CmdNoCurves = 1007,
    CmdViewerAspect = 1008,
    CmdLoadPicture = 1010,
    CmdReserved = 1011,
    CmdMakeMovie = 1013,
    CmdBatchRender = 1014,
    CmdNtsc = 1015,
    CmdPal = 1016,
    CmdFilm = 1017,
    CmdContents = 1020,
    CmdUniformSpeed = 1022,
    CmdDeletePicture = 1023,
    CmdDeleteAllKeys = 1024,
    CmdPrepPicture = 1025,
    CmdAbout = 1026,
    CmdAspect43 = 1030,
    CmdAspect169 = 1031,
    CmdLetterBox = 1032,
    CmdDraft = 1033,
    CmdMultiProcess = 1034,
    CmdMotionBlur = 1035,
    CmdAdvancedOptions = 1036,
    CmdMakeStill = 1037,
    CmdShowTvSafe = 1040,
    CmdCentrePicture = 1041,
    CmdStageZoomIn = 1042,
    CmdStageZoomOut = 1043,
    CmdEnlargeTimeline = 1044,
    CmdContractTimeline = 1045,
    CmdFitPicture = 1046,
    CmdSuggestMove = 1047,
    // The shapes of phone and feed screens, after the three television ones.
    CmdAspectVertical = 1048,  // 9:16
    CmdAspectSquare = 1049,    // 1:1
    CmdAspectPortrait = 1050,  // 4:5
    CmdExit = 2001,
    CmdQuitDiscard = 2002,
    CmdSaveShow = 2003,
    CmdLoadShow = 2004,
    CmdNewShow = 2005,
    CmdCopy = 9000,
    CmdCut = 9001,
    CmdPaste = 9002,
    CmdDelete = 9003,
    CmdUndo = 9004,
    CmdRedo = 9005,
};

// Which runs of the editor a row belongs to.
enum class CommandMode : uint8_t { Both, StandAlone, Host };

// Ids of rows that are no command.
constexpr int MenuSeparator = -1;

struct CommandRow {
    int id;            // a command id, or MenuSeparator
    const char* menu;  // the popup it is in; "" for a keyboard-only row
    const char* text;  // the item text, without the shortcut
    char shortcut;     // 'A'..'Z' for Ctrl+letter, '>' or '<'; 0 none
    CommandMode mode;
    bool (*enabled)(const EditSession&);  // null: always enabled
    bool (*checked)(const EditSession&);  // null: never checked
    void (*run)(CMain&, int id);          // null: does nothing (a reserved id)
    // The key's own action when it differs from the menu's (the quick save), with whether the
    // message was a character; null: the key runs `run`.
    void (*key)(CMain&, bool character);
};

// Every row, menus in order.
const std::vector<CommandRow>& CommandTable();
bool InMode(const CommandRow& row, bool hostMode);
// The row of an id in a mode (the Exit row's text differs between the modes), or null.
const CommandRow* FindCommand(int id, bool hostMode);

// One menu line as it is built: the popup, the id (MenuSeparator for a line), the item text
// with its "/X" shortcut suffix, and the item's state for the session.
struct MenuLine {
    std::string popup;
    int id = MenuSeparator;
    std::string text;
    bool greyed = false;
    bool checked = false;
};
std::vector<MenuLine> MenuLines(bool hostMode, const EditSession& session);
// A new main window's aspect marks start from its show's mode alone.
void ForgetAspectMarks(const EditSession& session);

// The shortcut mapping of key and character codes (Ctrl+letter characters 1..26, and the comma,
// period and tilde keys): the mapped lower-case character, or 0 when unmapped.
int MapShortcut(uint64_t code);
// The row a mapped shortcut character runs in a mode, or null.
const CommandRow* CommandForShortcut(int mapped, bool hostMode);

}  // namespace kv
