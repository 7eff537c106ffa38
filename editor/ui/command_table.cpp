// The command table's rows and what is built from them; see command_table.h. The functions the
// rows run are grouped by menu in commands_file.cpp, commands_edit.cpp and commands_view.cpp.
#include "editor/ui/command_table.h"

#include <cctype>

#include "core/base/settings.h"
#include "core/show/show.h"
#include "editor/ui/commands.h"
#include "editor/ui/session/edit_session.h"

namespace kv {

namespace {

using M = CommandMode;

int32_t Setting(const EditSession& s, const char* key, int32_t def) {
    return s.Store().ReadInt(key, def);
}

// A show option's check mark reads the show's options record through the options table (the
// table's default when there is no show): a command, Undo and Redo change the record, while a
// settings store written by something else (another editor's file) leaves the marks alone.
// Program-wide settings that are not the show's keep reading the store.
double ShowOption(const EditSession& s, const ShowOptionRow* row) {
    if (!row) return 0;
    return s.HasShow() ? row->get(s.TheShow().Options()) : row->defaultValue;
}
// An option a menu command toggles: on when not zero.
bool OptionOn(const EditSession& s, int command) {
    return ShowOption(s, ShowOptionRowForCommand(command)) != 0;
}
int32_t ShowEase(const EditSession& s) {
    return static_cast<int32_t>(ShowOption(s, ShowOptionRowForCommand(CmdEaseInOut)));
}
bool RateIs(const EditSession& s, int32_t rate) {
    return Setting(s, "FrameRate", 2997) == rate;
}
bool EaseIs(const EditSession& s, int32_t mode) {
    return (ShowEase(s) & 15) == mode;
}
// The aspect rows' marks follow the show's mode when it is one of theirs (commands, Undo, Redo,
// a loaded show); any other aspect, set through Set Viewer Aspect, leaves them as they were. A new
// aspect row adds its mode to the list.
bool AspectIs(const EditSession& s, int32_t mode) {
    static constexpr int32_t RowModes[] = {7500, 5625, 5626, 17775, 10000, 12500};
    int32_t& marked = s.aspectMarked;
    const int32_t now = static_cast<int32_t>(ShowOption(s, ShowOptionRowForKey("AspectMode")));
    for (int32_t m : RowModes)
        if (m == now) marked = now;
    return marked == mode;
}
bool On(const EditSession& s, const char* key) {
    return Setting(s, key, 0) != 0;
}
bool HasShow(const EditSession& s) {
    return s.HasShow();
}

bool HasPicture(const EditSession& s) {
    return s.HasShow() && s.TheShow().pictureCount > 0;
}

constexpr CommandRow Line(const char* menu, M mode = M::Both) {
    return CommandRow{MenuSeparator, menu, "", 0, mode, nullptr, nullptr, nullptr, nullptr};
}

}  // namespace

void ForgetAspectMarks(const EditSession& session) {
    session.aspectMarked = 0;
}

namespace {

// The rows, menus in order. A new command is one row here and the one function it runs.
const std::vector<CommandRow> g_rows = {
    {CmdLoadPicture, "File", "Load Picture", 'E', M::Both, nullptr, nullptr, RunLoadPicture,
     nullptr},
    Line("File"),
    {CmdNewShow, "File", "New Show", 'N', M::Both, nullptr, nullptr, RunNewShow, nullptr},
    {CmdLoadShow, "File", "Load Show", 'O', M::Both, nullptr, nullptr, RunLoadShow, nullptr},
    {CmdSaveShow, "File", "Save Show", 'S', M::Both, nullptr, nullptr, RunSaveShow, KeyQuickSave},
    Line("File"),
    {CmdExit, "File", "Apply Moves and Close", 'Q', M::Host, nullptr, nullptr, RunExit, KeyClose},
    {CmdQuitDiscard, "File", "Quit - DON'T Apply changes", 0, M::Host, nullptr, nullptr,
     RunQuitDiscard, nullptr},
    {CmdMakeMovie, "File", "Make Movie File", 'K', M::StandAlone, nullptr, nullptr, RunMakeMovie,
     nullptr},
    {CmdBatchRender, "File", "Batch Render Movies", 0, M::StandAlone, nullptr, nullptr,
     RunMakeMovie, nullptr},
    {CmdMakeStill, "File", "Make Still Image", 'T', M::StandAlone, nullptr, nullptr, RunMakeStill,
     KeyMakeStill},
    Line("File", M::StandAlone),
    {CmdNtsc, "File", "NTSC", 0, M::StandAlone, nullptr,
     [](const EditSession& s) { return RateIs(s, 2997); }, RunFrameRate, nullptr},
    {CmdPal, "File", "PAL", 0, M::StandAlone, nullptr,
     [](const EditSession& s) { return RateIs(s, 2500); }, RunFrameRate, nullptr},
    {CmdFilm, "File", "Film", 0, M::StandAlone, nullptr,
     [](const EditSession& s) { return RateIs(s, 2397); }, RunFrameRate, nullptr},
    Line("File", M::StandAlone),
    {CmdExit, "File", "Exit", 'Q', M::StandAlone, nullptr, nullptr, RunExit, KeyClose},

    {CmdUndo, "Edit", "Undo", 'Z', M::Both, CanUndoNow, nullptr, RunUndoRedo, nullptr},
    {CmdRedo, "Edit", "Redo", 'Y', M::Both, CanRedoNow, nullptr, RunUndoRedo, nullptr},
    Line("Edit"),
    {CmdCut, "Edit", "Cut", 'X', M::Both, CanCutOrDelete, nullptr, RunCutOrDelete, nullptr},
    {CmdCopy, "Edit", "Copy", 'C', M::Both, CanCopy, nullptr, RunCopy, nullptr},
    {CmdPaste, "Edit", "Paste", 'V', M::Both, CanPaste, nullptr, RunPaste, nullptr},
    {CmdDelete, "Edit", "Delete", 0, M::Both, CanCutOrDelete, nullptr, RunCutOrDelete, nullptr},
    Line("Edit"),
    {CmdDeleteAllKeys, "Edit", "Delete All Keys", 0, M::Both, HasShow, nullptr, RunDeleteAllKeys,
     nullptr},
    {CmdUniformSpeed, "Edit", "Uniform Speed", 0, M::Both, HasShow, nullptr, RunUniformSpeed,
     nullptr},
    {CmdPrepPicture, "Edit", "Prep Picture", 0, M::Both, HasShow, nullptr, RunPrepPicture, nullptr},
    {CmdSuggestMove, "Edit", "Suggest Move", 0, M::Both, HasPicture, nullptr, RunSuggestMove,
     nullptr},

    {CmdShowCameraPath, "Options", "Show Camera Path", 0, M::Both, nullptr,
     [](const EditSession& s) { return On(s, "ShowCameraPath"); }, RunCameraPath, nullptr},
    {CmdAutoRescale, "Options", "Auto-Rescale Show", 0, M::Both, nullptr,
     [](const EditSession& s) { return On(s, "RescaleShow"); }, RunAutoRescale, nullptr},
    Line("Options"),
    {CmdEaseInOut, "Options", "Slow-in & Slow Out", 0, M::Both, nullptr,
     [](const EditSession& s) { return EaseIs(s, 0); }, RunDefaultEase, nullptr},
    {CmdEaseInOut + 1, "Options", "Slow-in", 0, M::Both, nullptr,
     [](const EditSession& s) { return EaseIs(s, 1); }, RunDefaultEase, nullptr},
    {CmdEaseInOut + 2, "Options", "Slow-out", 0, M::Both, nullptr,
     [](const EditSession& s) { return EaseIs(s, 2); }, RunDefaultEase, nullptr},
    {CmdEaseInOut + 3, "Options", "No Slows", 0, M::Both, nullptr,
     [](const EditSession& s) { return EaseIs(s, 3); }, RunDefaultEase, nullptr},
    Line("Options"),
    {CmdNoCurves, "Options", "No Curves", 0, M::Both, nullptr,
     [](const EditSession& s) { return (ShowEase(s) & 240) != 0; }, RunNoCurves, nullptr},

    {CmdAspect43, "Render", "4:3 Aspect Ratio", 0, M::Both, nullptr,
     [](const EditSession& s) { return AspectIs(s, 7500); }, RunAspect, nullptr},
    {CmdAspect169, "Render", "16:9 Aspect Ratio", 0, M::Both, nullptr,
     [](const EditSession& s) { return AspectIs(s, 5625); }, RunAspect, nullptr},
    {CmdLetterBox, "Render", "LetterBox 16:9", 0, M::Both, nullptr,
     [](const EditSession& s) { return AspectIs(s, 5626); }, RunAspect, nullptr},
    {CmdAspectVertical, "Render", "9:16 Vertical", 0, M::Both, nullptr,
     [](const EditSession& s) { return AspectIs(s, 17775); }, RunAspect, nullptr},
    {CmdAspectSquare, "Render", "1:1 Square", 0, M::Both, nullptr,
     [](const EditSession& s) { return AspectIs(s, 10000); }, RunAspect, nullptr},
    {CmdAspectPortrait, "Render", "4:5 Portrait", 0, M::Both, nullptr,
     [](const EditSession& s) { return AspectIs(s, 12500); }, RunAspect, nullptr},
    Line("Render"),
    {CmdDraft, "Render", "Draft quality", 0, M::Both, nullptr,
     [](const EditSession& s) { return OptionOn(s, CmdDraft); }, RunDraft, nullptr},
    {CmdMotionBlur, "Render", "Add Motion Blur", 0, M::Both, nullptr,
     [](const EditSession& s) { return OptionOn(s, CmdMotionBlur); }, RunMotionBlur, nullptr},
    {CmdMultiProcess, "Render", "Multiple Processors", 0, M::Both, nullptr,
     [](const EditSession& s) { return On(s, "MultiProcess"); }, RunMultiProcess, nullptr},
    Line("Render"),
    {CmdAdvancedOptions, "Render", "Advanced Options", 0, M::Both, nullptr, nullptr,
     RunAdvancedOptions, nullptr},

    {CmdCentrePicture, "View", "Center Pic on Stage", 0, M::Both, nullptr,
     [](const EditSession& s) { return On(s, "CenterPic"); }, RunCentrePicture, nullptr},
    {CmdShowTvSafe, "View", "Show TV Safe Area", 0, M::Both, nullptr,
     [](const EditSession& s) { return On(s, "ShowTVSafe"); }, RunTvSafe, nullptr},
    Line("View"),
    {CmdStageZoomIn, "View", "Stage Zoom In", 0, M::Both, nullptr, nullptr, RunStageZoom, nullptr},
    {CmdStageZoomOut, "View", "Stage Zoom Out", 0, M::Both, nullptr, nullptr, RunStageZoom,
     nullptr},
    {CmdFitPicture, "View", "Fit Picture on Stage", 0, M::Both, nullptr, nullptr, RunFitPicture,
     nullptr},
    Line("View"),
    {CmdEnlargeTimeline, "View", "Enlarge Timeline", '>', M::Both, nullptr, nullptr,
     RunTimelineZoom, nullptr},
    {CmdContractTimeline, "View", "Contract Timeline", '<', M::Both, nullptr, nullptr,
     RunTimelineZoom, nullptr},

    {CmdContents, "Help", "Contents", 0, M::Both, nullptr, nullptr, RunContents, nullptr},
    {CmdAbout, "Help", "About", 0, M::Both, nullptr, nullptr, RunAbout, nullptr},

    // Without a menu item: Delete Picture, the id the Advanced Options dialog sends, and the
    // reserved "~" key.
    {CmdDeletePicture, "", "Delete Picture", 0, M::Both, HasShow, nullptr, RunDeletePicture,
     nullptr},
    {CmdViewerAspect, "", "Set Viewer Aspect Ratio", 0, M::Both, nullptr, nullptr, RunViewerAspect,
     nullptr},
    {CmdReserved, "", "", '~', M::Both, nullptr, nullptr, nullptr, nullptr},
};

const std::vector<CommandRow>& Rows() {
    return g_rows;
}

}  // namespace

const std::vector<CommandRow>& CommandTable() {
    return Rows();
}

bool InMode(const CommandRow& row, bool hostMode) {
    return row.mode == CommandMode::Both || (row.mode == CommandMode::Host) == hostMode;
}

const CommandRow* FindCommand(int id, bool hostMode) {
    if (id == MenuSeparator) return nullptr;
    for (const CommandRow& row : Rows())
        if (row.id == id && InMode(row, hostMode)) return &row;
    return nullptr;
}

std::vector<MenuLine> MenuLines(bool hostMode, const EditSession& session) {
    std::vector<MenuLine> lines;
    for (const CommandRow& row : Rows()) {
        if (!*row.menu || !InMode(row, hostMode)) continue;
        MenuLine line;
        line.popup = row.menu;
        line.id = row.id;
        line.text = row.text;
        if (row.shortcut) line.text += std::string("/") + row.shortcut;
        line.greyed = row.enabled && !row.enabled(session);
        line.checked = row.checked && row.checked(session);
        lines.push_back(line);
    }
    return lines;
}

int MapShortcut(uint64_t code) {
    // The comma, period and tilde keys by their key codes.
    if (code == 188) return '>';
    if (code == 190) return '<';
    if (code == 192) return '~';
    // Ctrl+letter arrives as the letter's control character; only letters of the table count.
    if (code >= 1 && code <= 26) {
        const char letter = static_cast<char>('A' + code - 1);
        for (const CommandRow& row : Rows())
            if (row.shortcut == letter) return std::tolower(letter);
    }
    return 0;
}

const CommandRow* CommandForShortcut(int mapped, bool hostMode) {
    if (mapped == 0) return nullptr;
    const char wanted = static_cast<char>(std::isalpha(mapped) ? std::toupper(mapped) : mapped);
    for (const CommandRow& row : Rows())
        if (row.shortcut == wanted && InMode(row, hostMode)) return &row;
    return nullptr;
}

}  // namespace kv
