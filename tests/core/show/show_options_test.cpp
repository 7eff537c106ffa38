// The options record and its table: every row its own field, the defaults, the settings keys a
// show is made from and written back to.
#include "core/show/show_options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/base/settings.h"
#include "core/show/show.h"

namespace kv {
namespace {

// A value of the row's kind other than its default.
double OtherValue(const ShowOptionRow& row, int salt) {
    if (std::strcmp(row.name, "aspect") == 0) return 0.5f + 0.0625f * static_cast<float>(salt);
    if (row.defaultValue == 0 || row.defaultValue == 1) {
        // Flags read back as 0 or 1; whole numbers take the salt.
        ShowOptions probe;
        row.set(probe, 7);
        if (row.get(probe) == 1) return row.defaultValue == 0 ? 1 : 0;
    }
    return row.defaultValue + 3 + salt;
}

TEST(ShowOptions, DefaultsOfTheTableAreTheNewRecord) {
    EXPECT_TRUE(DefaultShowOptions() == ShowOptions{});
    EXPECT_TRUE(Show().Options() == ShowOptions{});
}

TEST(ShowOptions, EachRowIsAFieldOfItsOwnAndCountsInEquality) {
    ASSERT_GT(ShowOptionRowCount(), 0u);
    for (size_t i = 0; i < ShowOptionRowCount(); ++i) {
        const ShowOptionRow& row = ShowOptionRows()[i];
        SCOPED_TRACE(row.name);
        ShowOptions changed;
        const double value = OtherValue(row, static_cast<int>(i));
        row.set(changed, value);
        EXPECT_EQ(row.get(changed), value);
        EXPECT_FALSE(changed == ShowOptions{});
        // No other row sees the change: two rows never share a field.
        for (size_t j = 0; j < ShowOptionRowCount(); ++j) {
            if (j == i) continue;
            const ShowOptionRow& other = ShowOptionRows()[j];
            EXPECT_EQ(other.get(changed), other.get(ShowOptions{})) << other.name;
        }
        EXPECT_EQ(TreatmentsDiffer(changed, ShowOptions{}), row.treatment);
        if (row.key) {
            EXPECT_EQ(ShowOptionRowForKey(row.key), &row);
        }
    }
    EXPECT_EQ(ShowOptionRowForKey("MultiProcess"), nullptr);
    EXPECT_EQ(ShowOptionRowForKey("FrameRate"), nullptr);
    EXPECT_EQ(ShowOptionRowForCommand(0), nullptr);
}

// What the table writes, a show made from the store reads back, a colour above 0x7FFFFFFF and
// a shape of the program's included.
TEST(ShowOptions, WrittenSettingsMakeAShowWithTheSameOptions) {
    ShowOptions options;
    for (size_t i = 0; i < ShowOptionRowCount(); ++i) {
        const ShowOptionRow& row = ShowOptionRows()[i];
        if (row.key) row.set(options, OtherValue(row, static_cast<int>(i)));
    }
    options.MatteColor = 0xFFEEDDCCu;
    options.AspectMode = 5625;
    Settings store;
    WriteShowOptions(options, store);
    EXPECT_EQ(store.ReadInt("MatteColor", 0), static_cast<int32_t>(0xFFEEDDCCu));
    const Show show(store);
    for (size_t i = 0; i < ShowOptionRowCount(); ++i) {
        const ShowOptionRow& row = ShowOptionRows()[i];
        if (row.key) {
            EXPECT_EQ(row.get(show.Options()), row.get(options)) << row.name;
        }
    }
    EXPECT_FLOAT_EQ(show.aspect, 0.5625f);
    EXPECT_FALSE(show.ownShape);
}

TEST(ShowOptions, OnlyTheChangedSettingsAreWritten) {
    ShowOptions before, after;
    after.DraftRender = true;
    after.BorderSize = 4;  // kept in the show file alone: no setting
    Settings store;
    WriteChangedShowOptions(before, after, store);
    EXPECT_EQ(store.ReadInt("DraftRender", -1), 1);
    EXPECT_EQ(store.ReadInt("BlurFrames", -1), -1);
    EXPECT_EQ(store.ReadInt("EaseType", -1), -1);
    EXPECT_EQ(store.Text().find("BorderSize"), std::string::npos);
}

}  // namespace
}  // namespace kv
