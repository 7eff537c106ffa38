// ShowOptions: the show-wide options of a show (its shape, the default ease, the render options
// and the picture treatments) as one value, and ShowOptionRows(), the one table that says for
// each field its settings key, the menu command that sets it and its default.
//
// The show holds the record (Show derives from it, so `show.PreBlur` is the record's field).
// Whatever handles the options as a whole (the edit history, Undo and Redo writing the settings
// back, the menus' check marks, recovery) goes through the record and the table and never lists
// the fields. A new option is one field here and one row in the table (show_options.cpp).
//
// Program-wide settings a show also carries ("MultiProcess", "FrameRate", the alternative image
// folder ...) are not the show's and are not in the record: changing them never marks the show
// changed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv {

class Settings;

struct ShowOptions {
    // The shape: AspectMode (height / width x 10000; 5626 the letterbox), the aspect it gives,
    // and whether it is the show's own (kept in its file) rather than the program's setting.
    float aspect = 0.75f;
    int32_t AspectMode = 7500;
    bool ownShape = false;
    // The default ease (low four bits) and No Curves (bit 4).
    int32_t EaseType = 0;
    bool AlwaysUseRotation = false;
    // Fields and quality of the render.
    bool FieldSwap = false;
    bool FlopTopField = false;
    bool DraftRender = false;
    int32_t BlurFrames = 0;
    // The treatments baked into the prepared picture.
    bool VideoColors = true;
    int32_t PreBlur = 0;
    int32_t BorderSize = 0;
    uint32_t MatteColor = 0;
    int32_t ContrastBrightness = 0x3232;
    bool IgnoreAlpha = true;

    bool operator==(const ShowOptions&) const = default;
};

// One field of the record.
struct ShowOptionRow {
    const char* name;  // the field's name
    // The settings key the field is written to when it changes and read from for a new show;
    // nullptr for a field kept in the show alone.
    const char* key;
    // The editor's menu command that sets it (the first of a group of items), 0 when only a
    // dialog does. The ids are fixed numbers, kept by the editor's command table.
    int command;
    double defaultValue;
    // Baked into the prepared picture: a change prepares the picture again.
    bool treatment;
    double (*get)(const ShowOptions&);
    void (*set)(ShowOptions&, double);
};

// The table, one row per field of ShowOptions.
const ShowOptionRow* ShowOptionRows();
size_t ShowOptionRowCount();
// The row of a settings key or of a menu command; nullptr for none.
const ShowOptionRow* ShowOptionRowForKey(const char* key);
const ShowOptionRow* ShowOptionRowForCommand(int command);

// The record with every field at its default.
ShowOptions DefaultShowOptions();
// Whether the treatments differ (the picture must be prepared again).
bool TreatmentsDiffer(const ShowOptions& a, const ShowOptions& b);
// Writes the fields that have a settings key to a store, as each command writes its own.
void WriteShowOptions(const ShowOptions& options, Settings& settings);
// Writes the settings of the fields that differ between two records.
void WriteChangedShowOptions(const ShowOptions& before, const ShowOptions& after,
                             Settings& settings);

}  // namespace kv
