// Prep Pictures, Advanced Options and Set Viewer Aspect ratio: the value conversions without a
// window, and the commands' rounds through a scripted dialog runner.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/base/settings.h"
#include "editor/ui/option_commands.h"
#include "tests/editor/ui/ui_test_support.h"

using namespace kv;

namespace {

void SetValue(OptionText* values, int row, const char* v) {
    std::strcpy(values[row], v);
}

}  // namespace

TEST(PrepPictures, RowsStartFromTheShow) {
    Show show;
    show.VideoColors = false;
    show.PreBlur = 2;
    show.BorderSize = -1;
    show.MatteColor = 0x123456;
    show.ContrastBrightness = (40 << 8) | 70;
    show.IgnoreAlpha = true;
    OptionRows rows;
    FillPrepRows(show, rows);
    EXPECT_EQ(rows.count, 9);
    EXPECT_STREQ(rows.items[6], "@RColor Mode|Normal / Border");
    EXPECT_STREQ(rows.values[0], "");
    EXPECT_STREQ(rows.values[1], "1");
    EXPECT_STREQ(rows.values[2], "-1");
    EXPECT_STREQ(rows.values[3], "1193046");
    EXPECT_STREQ(rows.values[4], "70");
    EXPECT_STREQ(rows.values[5], "40");
    EXPECT_STREQ(rows.values[6], "");
    EXPECT_STREQ(rows.values[7], "1");
    EXPECT_STREQ(rows.values[8], "1");
}

TEST(PrepPictures, BorderSizeFollowsTheColourModeAndMinusSignsCountAsZero) {
    Show show;
    OptionRows rows;
    FillPrepRows(show, rows);
    SetValue(rows.values, 2, "30");
    SetPrepBorderMode(rows, false);  // Image Tint
    StorePrepRows(rows, show);
    EXPECT_EQ(show.BorderSize, -1);
    SetPrepBorderMode(rows, true);
    SetValue(rows.values, 2, "-5");
    StorePrepRows(rows, show);
    EXPECT_EQ(show.BorderSize, 0);
    SetValue(rows.values, 2, "12");
    SetValue(rows.values, 4, "300");  // contrast keeps its low byte
    SetValue(rows.values, 5, "9");
    SetValue(rows.values, 3, "65280");
    SetValue(rows.values, 1, "");
    StorePrepRows(rows, show);
    EXPECT_EQ(show.BorderSize, 12);
    EXPECT_EQ(show.ContrastBrightness, (9 << 8) | (300 & 255));
    EXPECT_EQ(show.MatteColor, 0xFF00u);
    EXPECT_EQ(show.PreBlur, 0);
}

TEST(PrepPictures, ApplyRoundsKeepEditsAndACancelRestoresTheStart) {
    Show show;
    show.BorderSize = 5;
    show.VideoColors = true;
    const PrepValues start = SavePrepValues(show);
    int round = 0, prepared = 0, hidden = 0, shown = 0;
    std::vector<std::string> seenMode;
    OptionHooks hooks;
    hooks.hideViewer = [&] { ++hidden; };
    hooks.showViewer = [&] { ++shown; };
    hooks.preparePictures = [&] { ++prepared; };
    hooks.run = [&](int count, OptionText* items, OptionText* values, const char* title) {
        EXPECT_EQ(count, -9);
        EXPECT_STREQ(title, "Prep Pictures");
        EXPECT_STREQ(items[7], "@RImage Tint");
        seenMode.push_back(std::string(values[6]) + "/" + values[7]);
        if (round++ == 0) {
            // First round: tint mode, video colours off, then Apply.
            values[6][0] = 0;
            std::strcpy(values[7], "1");
            values[0][0] = 0;
            return int(OptionApply);
        }
        EXPECT_STREQ(values[0], "");  // the edit survived the round
        return int(OptionCancel);
    };
    bool appliedSeen = false;
    hooks.redrawStage = [&] {
        if (round == 1) appliedSeen = show.BorderSize == -1 && !show.VideoColors;
    };
    show.currentFrame = 77;
    EXPECT_EQ(PrepPicturesCommand(show, hooks), OptionCancel);
    EXPECT_TRUE(appliedSeen);
    EXPECT_EQ(round, 2);
    EXPECT_EQ(prepared, 2);
    EXPECT_EQ(hidden, 2);
    EXPECT_EQ(shown, 2);
    // Each round shows the border mode from before the command.
    ASSERT_EQ(seenMode.size(), 2u);
    EXPECT_EQ(seenMode[1], "1/");
    PrepValues end = SavePrepValues(show);
    EXPECT_EQ(end.BorderSize, start.BorderSize);
    EXPECT_EQ(end.VideoColors, start.VideoColors);
    EXPECT_EQ(show.currentFrame, 0);
    EXPECT_EQ(TheSettings().ReadInt("VideoColors", -7), 1);
}

TEST(AdvancedOptions, OkStoresFlagsAsksForTheAspectDialogAndKeepsALongFolder) {
    kvtest::StartUi();
    kvtest::DrainQueue();
    Show show;
    std::string longFolder = "/" + std::string(90, 'f') + "/";
    std::strcpy(show.AltImageFolder.path, longFolder.c_str());
    HWND main = kvtest::MakeWindow(0, 0, 50, 50);
    bool dual = false;
    OptionHooks hooks;
    hooks.mainWindow = main;
    hooks.viewerDualScreen = [&] { return dual; };
    hooks.setViewerDualScreen = [&](bool on) { dual = on; };
    hooks.run = [&](int count, OptionText* items, OptionText* values, const char* title) {
        EXPECT_EQ(count, 7);
        EXPECT_STREQ(title, "Advanced Options");
        EXPECT_STREQ(items[4], "@FAlternative Image Folder");
        std::strcpy(values[0], "1");
        std::strcpy(values[2], "1");
        std::strcpy(values[3], "1");
        values[5][0] = 0;
        std::strcpy(values[6], "1");
        return int(OptionOk);
    };
    EXPECT_EQ(AdvancedOptionsCommand(show, hooks), OptionOk);
    EXPECT_TRUE(show.FieldSwap);
    EXPECT_EQ(show.MultiProcOffset, 1);
    EXPECT_FALSE(show.ShowPicError);
    EXPECT_TRUE(dual);
    EXPECT_EQ(std::string(show.AltImageFolder.path), longFolder);
    EXPECT_EQ(TheSettings().ReadInt("MultiProcOffset", -1), 1);
    EXPECT_EQ(TheSettings().ReadInt("DualScreenViewer", -1), 1);
    MSG m;
    bool asked = false;
    while (PeekMessage(&m, PM_REMOVE)) {
        if (m.hwnd == main && m.message == WM_COMMAND && m.wParam == CommandViewerAspect)
            asked = true;
        DispatchMessage(&m);
    }
    EXPECT_TRUE(asked);
    // A folder chosen in the dialog replaces it (cut after the last separator).
    hooks.run = [&](int, OptionText*, OptionText*, const char*) {
        std::strcpy(OptionFolderSpec().path, "/new/pics/x.bmp");
        return int(OptionOk);
    };
    AdvancedOptionsCommand(show, hooks);
    EXPECT_STREQ(show.AltImageFolder.path, "/new/pics/");
    // Cancel changes nothing.
    hooks.run = [&](int, OptionText*, OptionText* values, const char*) {
        values[0][0] = 0;
        return int(OptionCancel);
    };
    AdvancedOptionsCommand(show, hooks);
    EXPECT_TRUE(show.FieldSwap);
    DestroyWindow(main);
    kvtest::DrainQueue();
}

TEST(ViewerAspect, StartRowAndTheChosenAspect) {
    Show show;
    OptionRows rows;
    show.aspect = 0.75f;
    FillAspectRows(show, 0.5, rows);
    EXPECT_STREQ(rows.values[1], "1");
    EXPECT_STREQ(rows.values[5], "0.7500");
    show.aspect = 0.5f;
    FillAspectRows(show, 0.5, rows);
    EXPECT_STREQ(rows.values[3], "1");
    show.aspect = 0.6f;
    FillAspectRows(show, 0.5, rows);
    EXPECT_STREQ(rows.values[4], "1");
    EXPECT_STREQ(rows.values[0], "");

    rows.values[4][0] = 0;
    std::strcpy(rows.values[5], "0.8");
    EXPECT_DOUBLE_EQ(AspectFromRows(rows, 0.5), 0.8);  // no radio: the typed number
    std::strcpy(rows.values[2], "1");
    EXPECT_DOUBLE_EQ(AspectFromRows(rows, 0.5), 0.5625);

    EXPECT_TRUE(ApplyAspect(show, 0.5625));
    EXPECT_EQ(show.AspectMode, 5625);
    EXPECT_EQ(TheSettings().ReadInt("AspectMode", 0), 5625);
    EXPECT_FALSE(ApplyAspect(show, 0.0));
    EXPECT_FALSE(ApplyAspect(show, -2.0));
    EXPECT_FALSE(ApplyAspect(show, 1e12));
    EXPECT_FLOAT_EQ(show.aspect, 0.5625f);
}

TEST(ViewerAspect, SpecifyWithZeroLeavesTheAspectAndOkWithANumberSetsIt) {
    Show show;
    show.aspect = 0.75f;
    show.AspectMode = 7500;
    int refits = 0;
    OptionHooks hooks;
    hooks.refitViewer = [&] { ++refits; };
    hooks.pictureAspect = [] { return 0.5; };
    const char* typed = "0";
    hooks.run = [&](int count, OptionText*, OptionText* values, const char* title) {
        EXPECT_EQ(count, 6);
        EXPECT_STREQ(title, "Set Viewer Aspect ratio");
        for (int i = 0; i < 5; ++i) values[i][0] = 0;
        std::strcpy(values[4], "1");
        std::strcpy(values[5], typed);
        return int(OptionOk);
    };
    ViewerAspectCommand(show, hooks);
    EXPECT_FLOAT_EQ(show.aspect, 0.75f);
    EXPECT_EQ(show.AspectMode, 7500);
    typed = "0.66667";
    ViewerAspectCommand(show, hooks);
    EXPECT_FLOAT_EQ(show.aspect, 0.66667f);
    EXPECT_EQ(show.AspectMode, 6667);
    EXPECT_EQ(refits, 2);
    // Image takes the picture's shape.
    hooks.run = [&](int, OptionText*, OptionText* values, const char*) {
        for (int i = 0; i < 5; ++i) values[i][0] = 0;
        std::strcpy(values[3], "1");
        return int(OptionOk);
    };
    ViewerAspectCommand(show, hooks);
    EXPECT_EQ(show.AspectMode, 5000);
}

// The dialogs run before their edit: the show is as it was while the edit hook is called once
// with the result, which the hook applies (the editor's hook makes it one undo step).
TEST(OptionCommandEdits, DialogsHandTheirResultToOneEdit) {
    Show show;
    show.VideoColors = true;
    show.PreBlur = 0;
    int edits = 0;
    bool ran = false;
    OptionHooks hooks;
    hooks.preparePictures = [] {};
    hooks.edit = [&](const std::function<void(Show&)>& change) {
        EXPECT_TRUE(ran);  // the dialog is done
        ++edits;
        // Before the edit the show holds what it held before the dialog.
        EXPECT_TRUE(show.VideoColors);
        EXPECT_EQ(show.PreBlur, 0);
        change(show);
    };
    hooks.run = [&](int, OptionText*, OptionText* values, const char*) {
        EXPECT_EQ(edits, 0);
        ran = true;
        SetValue(values, 0, "");
        SetValue(values, 1, "1");
        return int(OptionOk);
    };
    EXPECT_EQ(PrepPicturesCommand(show, hooks), OptionOk);
    EXPECT_EQ(edits, 1);
    EXPECT_FALSE(show.VideoColors);
    EXPECT_EQ(show.PreBlur, 1);

    hooks.edit = [&](const std::function<void(Show&)>& change) {
        ++edits;
        EXPECT_EQ(show.AspectMode, 7500);
        change(show);
    };
    hooks.run = [&](int, OptionText*, OptionText* values, const char*) {
        for (int i = 0; i < 5; ++i) values[i][0] = 0;
        SetValue(values, 0, "1");  // Square
        return int(OptionOk);
    };
    ViewerAspectCommand(show, hooks);
    EXPECT_EQ(edits, 2);
    EXPECT_EQ(show.AspectMode, 10000);

    // A cancelled aspect dialog makes no edit at all.
    hooks.run = [](int, OptionText*, OptionText*, const char*) { return int(OptionCancel); };
    ViewerAspectCommand(show, hooks);
    EXPECT_EQ(edits, 2);
}
