// The show-wide options' table; see show_options.h.
#include "core/show/show_options.h"

#include <cstring>
#include <iterator>

#include "core/base/settings.h"

namespace kv {

namespace {

// The menu commands that set an option (the editor's fixed ids).
constexpr int EaseCommands = 1003;   // Slow-in & Slow Out, the first of the four ease items
constexpr int AspectCommand = 1030;  // 4:3, the first aspect item
constexpr int DraftCommand = 1033;
constexpr int MotionBlurCommand = 1035;

// Whole numbers pass through int64_t, so that a colour stored as a negative setting comes back
// as the same 32 bits.
#define KV_OPTION_ACCESS(field, type)                                  \
    [](const ShowOptions& o) { return static_cast<double>(o.field); }, \
        [](ShowOptions& o, double v) { o.field = static_cast<type>(static_cast<int64_t>(v)); }

const ShowOptionRow Rows[] = {
    {"aspect", nullptr, AspectCommand, 0.75, false,
     [](const ShowOptions& o) { return static_cast<double>(o.aspect); },
     [](ShowOptions& o, double v) { o.aspect = static_cast<float>(v); }},
    {"AspectMode", "AspectMode", AspectCommand, 7500, false, KV_OPTION_ACCESS(AspectMode, int32_t)},
    {"ownShape", nullptr, AspectCommand, 0, false, KV_OPTION_ACCESS(ownShape, bool)},
    {"EaseType", "EaseType", EaseCommands, 0, false, KV_OPTION_ACCESS(EaseType, int32_t)},
    {"AlwaysUseRotation", "AlwaysUseRotation", 0, 0, false,
     KV_OPTION_ACCESS(AlwaysUseRotation, bool)},
    {"FieldSwap", "FieldSwap", 0, 0, false, KV_OPTION_ACCESS(FieldSwap, bool)},
    {"FlopTopField", "FlopTopField", 0, 0, false, KV_OPTION_ACCESS(FlopTopField, bool)},
    {"DraftRender", "DraftRender", DraftCommand, 0, false, KV_OPTION_ACCESS(DraftRender, bool)},
    {"BlurFrames", "BlurFrames", MotionBlurCommand, 0, false,
     KV_OPTION_ACCESS(BlurFrames, int32_t)},
    {"VideoColors", "VideoColors", 0, 1, true, KV_OPTION_ACCESS(VideoColors, bool)},
    {"PreBlur", "PreBlur", 0, 0, true, KV_OPTION_ACCESS(PreBlur, int32_t)},
    {"BorderSize", nullptr, 0, 0, true, KV_OPTION_ACCESS(BorderSize, int32_t)},
    {"MatteColor", "MatteColor", 0, 0, true, KV_OPTION_ACCESS(MatteColor, uint32_t)},
    {"ContrastBrightness", nullptr, 0, 0x3232, true, KV_OPTION_ACCESS(ContrastBrightness, int32_t)},
    {"IgnoreAlpha", "IgnoreAlpha", 0, 1, true, KV_OPTION_ACCESS(IgnoreAlpha, bool)},
};

#undef KV_OPTION_ACCESS

// The setting's value: 32 bits, a colour above 0x7FFFFFFF stored as a negative number.
int32_t SettingOf(const ShowOptionRow& row, const ShowOptions& options) {
    return static_cast<int32_t>(static_cast<int64_t>(row.get(options)));
}

}  // namespace

const ShowOptionRow* ShowOptionRows() {
    return Rows;
}

size_t ShowOptionRowCount() {
    return std::size(Rows);
}

const ShowOptionRow* ShowOptionRowForKey(const char* key) {
    for (const ShowOptionRow& row : Rows)
        if (key && row.key && std::strcmp(row.key, key) == 0) return &row;
    return nullptr;
}

const ShowOptionRow* ShowOptionRowForCommand(int command) {
    for (const ShowOptionRow& row : Rows)
        if (command != 0 && row.command == command) return &row;
    return nullptr;
}

ShowOptions DefaultShowOptions() {
    ShowOptions o;
    for (const ShowOptionRow& row : Rows) row.set(o, row.defaultValue);
    return o;
}

bool TreatmentsDiffer(const ShowOptions& a, const ShowOptions& b) {
    for (const ShowOptionRow& row : Rows)
        if (row.treatment && row.get(a) != row.get(b)) return true;
    return false;
}

void WriteShowOptions(const ShowOptions& options, Settings& settings) {
    for (const ShowOptionRow& row : Rows)
        if (row.key) settings.WriteInt(row.key, SettingOf(row, options));
}

void WriteChangedShowOptions(const ShowOptions& before, const ShowOptions& after,
                             Settings& settings) {
    for (const ShowOptionRow& row : Rows)
        if (row.key && row.get(before) != row.get(after))
            settings.WriteInt(row.key, SettingOf(row, after));
}

}  // namespace kv
