// A show's keys and show values from the JSON that `info` prints: the same field names, every
// field required, each value checked before anything in the show changes.
#pragma once

#include <string>

#include "tools/cli/json_reader.h"

namespace kv {
class Show;
}

namespace kvcli {

// The most keys a show made from data may have: the picture's key table holds 64, and the
// editor keeps one slot free for the key it adds at the current frame.
constexpr int MaxKeysFromData = 63;

// What ApplyShowJson takes from the document besides the keys.
struct ShowJsonOptions {
    // The picture path of the document replaces the show's (`set`); `new` names the picture on
    // its command line instead.
    bool takePicture = true;
};

// Checks the whole document and, only when every field is sound, replaces the show's keys, its
// length, EaseType, picture and sound paths and picture treatments. False with `error` naming
// the first field at fault ("keys[3].width: ...") and the show untouched.
bool ApplyShowJson(const JsonValue& doc, kv::Show& show, const ShowJsonOptions& options,
                   std::string& error);

// Reads a file of at most MaxJsonBytes into text; false with `error` when it cannot.
bool ReadJsonFile(const std::string& path, std::string& text, std::string& error);

}  // namespace kvcli
