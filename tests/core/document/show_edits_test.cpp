// The edit history and the options record: an option is one step that Undo and Redo give back
// whole; the program's own settings the show carries are no change of the show.
#include "core/document/show_edits.h"

#include <gtest/gtest.h>

#include "core/show/show.h"
#include "core/show/show_options.h"

namespace kv {
namespace {

TEST(ShowEditsOptions, EveryOptionIsAStepThatUndoAndRedoGiveBack) {
    for (size_t i = 0; i < ShowOptionRowCount(); ++i) {
        const ShowOptionRow& row = ShowOptionRows()[i];
        SCOPED_TRACE(row.name);
        Show show;
        ShowEdits edits(show);
        const ShowOptions before = show.Options();
        const double value = row.get(before) == 0 ? 1 : 0;
        EXPECT_EQ(edits.Apply([&](Show& s) { row.set(s.Options(), value); }), ChangeOptions);
        EXPECT_TRUE(show.dirty);
        const ShowOptions after = show.Options();
        ASSERT_FALSE(after == before);
        EXPECT_EQ(edits.Undo(), ChangeOptions);
        EXPECT_TRUE(show.Options() == before);
        EXPECT_EQ(edits.Redo(), ChangeOptions);
        EXPECT_TRUE(show.Options() == after);
    }
}

TEST(ShowEditsOptions, ProgramSettingsNeverMarkTheShowChanged) {
    Show show;
    ShowEdits edits(show);
    EXPECT_EQ(edits.Apply([](Show& s) {
        s.MultiProcess = !s.MultiProcess;
        s.FrameRate = s.FrameRate == 2500 ? 2997 : 2500;
        s.MultiProcOffset = 1;
        s.RescaleShow = !s.RescaleShow;
    }),
              0u);
    EXPECT_FALSE(show.dirty);
    EXPECT_FALSE(edits.CanUndo());
}

}  // namespace
}  // namespace kv
