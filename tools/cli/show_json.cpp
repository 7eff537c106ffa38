// The show from `info`'s JSON: every field looked up by name, checked for type and range, and
// applied only once the whole document has passed.
#include "tools/cli/show_json.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "core/base/records.h"
#include "core/show/show.h"
#include "platform/os/utf8_names.h"

namespace kvcli {

namespace {

// Longest show: its length is stored as a float in the first key and doubled by rescaling.
constexpr double MaxShowLength = std::numeric_limits<int32_t>::max() / 2;
// A tilt of a right angle or more turns the picture's plane edge-on to the camera.
constexpr double TiltLimit = 90.0;
// Ease codes are 1000 x kind + speed (+1 for a straight segment); 0 follows the show's EaseType.
constexpr double MaxEaseCode = 9999.0;

// The fields of the document in `info`'s order; any other name is refused.
const char* const ShowFields[] = {
    "length",     "aspect",       "AspectMode",  "EaseType",
    "showId",     "pictureCount", "picture",     "loadResult",
    "keyCount",   "keys",         "audio",       "MatteColor",
    "BorderSize", "PreBlur",      "VideoColors", "ContrastBrightness"};
const char* const KeyFields[] = {"x",      "stamp",      "y",        "width",       "sizeReserve",
                                 "tiltA",  "tiltB",      "rotation", "easeCode",    "pictureStart",
                                 "spareB", "showLength", "time",     "undoPicture", "undoOp"};

// Looks fields up in one object and records the first fault with its full name.
class Fields {
public:
    Fields(const JsonValue& object, std::string prefix, std::string& error)
        : m_object(object), m_prefix(std::move(prefix)), m_error(error) {}

    bool Known(const char* const* names, size_t count) {
        for (const JsonMember& m : m_object.members) {
            bool known = false;
            for (size_t i = 0; i < count && !known; ++i) known = m.name == names[i];
            if (!known) return Fail(m.name, "is not a field of a show");
        }
        return true;
    }

    const JsonValue* Get(const char* name, JsonValue::Type type) {
        const JsonValue* v = m_object.Find(name);
        if (!v) {
            Fail(name, "is missing");
            return nullptr;
        }
        if (v->type != type) {
            Fail(name,
                 std::string("wants ") + JsonTypeName(type) + ", not " + JsonTypeName(v->type));
            return nullptr;
        }
        return v;
    }

    // A whole number in [lo, hi].
    bool Int(const char* name, double lo, double hi, int64_t& out) {
        const JsonValue* v = Get(name, JsonValue::Type::Number);
        if (!v) return false;
        if (!v->whole) return Fail(name, "wants a whole number");
        if (v->number < lo || v->number > hi)
            return Fail(name, Number(v->number) + " is out of range (" + Number(lo) + " to " +
                                  Number(hi) + ")");
        out = static_cast<int64_t>(v->number);
        return true;
    }

    // A finite number a float holds, within [lo, hi]; `above` makes lo itself refused. The
    // range is checked on the float that will be stored, not on the text's double: 1e-50 is
    // above 0 as a double but 0 as a float.
    bool Float(const char* name, float& out, double lo = -FLT_MAX, double hi = FLT_MAX,
               bool above = false) {
        const JsonValue* v = m_object.Find(name);
        if (v && v->type == JsonValue::Type::Null)
            return Fail(name, "is not a number (NaN or infinity cannot be stored)");
        v = Get(name, JsonValue::Type::Number);
        if (!v) return false;
        const bool fits = std::isfinite(v->number) && std::fabs(v->number) <= FLT_MAX;
        const double stored = fits ? static_cast<double>(static_cast<float>(v->number)) : 0.0;
        if (!fits || stored < lo || stored > hi || (above && stored <= lo)) {
            std::string range = above ? "above " + Number(lo) : Number(lo) + " to " + Number(hi);
            if (above && hi < FLT_MAX) range += " up to " + Number(hi);
            std::string what = Number(v->number);
            if (fits && stored != v->number) what += " (stored as " + Number(stored) + ")";
            return Fail(name, what + " is out of range (" + range + ")");
        }
        out = static_cast<float>(stored);
        return true;
    }

    // A number of either kind whose value is not kept: only its presence and type are checked.
    bool Ignored(const char* name) { return Get(name, JsonValue::Type::Number) != nullptr; }

    bool String(const char* name, size_t maxBytes, bool empty, std::string& out) {
        const JsonValue* v = Get(name, JsonValue::Type::String);
        if (!v) return false;
        if (v->text.size() > maxBytes)
            return Fail(name, "is " + std::to_string(v->text.size()) + " bytes long; at most " +
                                  std::to_string(maxBytes) + " are kept");
        if (!empty && v->text.empty()) return Fail(name, "is empty");
        out = v->text;
        return true;
    }

    bool Fail(const std::string& name, const std::string& what) {
        if (m_error.empty()) m_error = m_prefix + name + ": " + what;
        return false;
    }

    static std::string Text(double v) { return Number(v); }

private:
    static std::string Number(double v) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.9g", v);
        return buf;
    }

    const JsonValue& m_object;
    std::string m_prefix;
    std::string& m_error;
};

bool ReadKey(const JsonValue& value, int index, int64_t length, kv::KeyFrame& k,
             std::string& error) {
    const std::string prefix = "keys[" + std::to_string(index) + "].";
    Fields f(value, prefix, error);
    if (value.type != JsonValue::Type::Object) {
        error =
            "keys[" + std::to_string(index) + "]: wants an object, not " + JsonTypeName(value.type);
        return false;
    }
    if (!f.Known(KeyFields, std::size(KeyFields))) return false;
    k = kv::KeyFrame{};
    int64_t time = 0, undoPicture = 0;
    // stamp, showLength and undoOp are the file's and the editor's own bookkeeping, written
    // afresh at every save: the values given are read and dropped.
    const bool ok =
        f.Float("x", k.x) && f.Ignored("stamp") && f.Float("y", k.y) &&
        f.Float("width", k.width, 0.0, FLT_MAX, true) && f.Float("sizeReserve", k.sizeReserve) &&
        f.Float("tiltA", k.tiltA, -TiltLimit, TiltLimit) &&
        f.Float("tiltB", k.tiltB, -TiltLimit, TiltLimit) && f.Float("rotation", k.rotation) &&
        f.Float("easeCode", k.easeCode, 0.0, MaxEaseCode) &&
        f.Float("pictureStart", k.pictureStart) && f.Float("spareB", k.spareB) &&
        f.Ignored("showLength") && f.Int("time", 0, static_cast<double>(length), time) &&
        f.Int("undoPicture", 0, 65535, undoPicture) && f.Ignored("undoOp");
    if (!ok) return false;
    // A right angle itself is as edge-on as beyond it.
    if (std::fabs(k.tiltA) >= TiltLimit) return f.Fail("tiltA", "must lie within +-90 degrees");
    if (std::fabs(k.tiltB) >= TiltLimit) return f.Fail("tiltB", "must lie within +-90 degrees");
    k.time = static_cast<int32_t>(time);
    k.undoPicture = static_cast<uint16_t>(undoPicture);
    return true;
}

// A setting the show file does not keep, given other than the value in use: refused with the
// way to set it, as it would be lost at the save.
bool NotInUse(Fields& f, const char* name, const char* key, const std::string& given,
              const std::string& inUse) {
    return f.Fail(name, given + " is not the value in use (" + inUse +
                            ") and is not kept in a show file; give --set " + key +
                            "=VALUE to every later command, or set it in the settings file");
}

// What a show document gives, read and checked before anything of the show changes.
struct ShowValues {
    int64_t length = 0, aspectMode = 0, easeType = 0, pictureCount = 0;
    int64_t keyCount = 0, matte = 0, border = 0, preBlur = 0, videoColors = 0;
    int64_t contrast = 0;
    float aspect = 0;
    std::string picture, audio;
    const JsonValue* keys = nullptr;
    kv::KeyFrame read[MaxKeysFromData] = {};
};

// The show's own fields up to the picture, each settled that the show file does not keep.
bool ReadShowHead(Fields& f, const kv::Show& show, const ShowJsonOptions& options, ShowValues& v) {
    if (!(f.Int("length", 1, MaxShowLength, v.length) &&
          f.Float("aspect", v.aspect, 0.0, FLT_MAX, true) &&
          f.Int("AspectMode", 1, std::numeric_limits<int32_t>::max(), v.aspectMode) &&
          f.Int("EaseType", 0, 31, v.easeType) && f.Ignored("showId") &&
          f.Int("pictureCount", 1, kv::MaxPictures, v.pictureCount) &&
          f.String("picture", sizeof(kv::FileSpec::path) - 1, !options.takePicture, v.picture) &&
          f.Ignored("loadResult")))
        return false;
    // The show file keeps neither the length nor these settings: a value other than the one in
    // use would be lost at the save, so it is refused with the way to set it.
    if (v.length != show.length)
        return f.Fail("length", std::to_string(v.length) + " is not the length in use (" +
                                    std::to_string(show.length) +
                                    ") and is not kept in a show file; give --length " +
                                    std::to_string(v.length) + " to every command instead");
    if (v.aspectMode != show.AspectMode)
        return NotInUse(f, "AspectMode", "AspectMode", std::to_string(v.aspectMode),
                        std::to_string(show.AspectMode));
    if (v.aspect != show.aspect)
        return NotInUse(f, "aspect", "AspectMode", Fields::Text(v.aspect),
                        Fields::Text(show.aspect));
    if (v.easeType != show.EaseType)
        return NotInUse(f, "EaseType", "EaseType", std::to_string(v.easeType),
                        std::to_string(show.EaseType));
    return true;
}

// The keys array and its count, then the settings after them.
bool ReadShowTail(Fields& f, const kv::Show& show, ShowValues& v) {
    v.keys = f.Get("keys", JsonValue::Type::Array);
    if (!v.keys) return false;
    const size_t given = v.keys->items.size();
    if (given > static_cast<size_t>(MaxKeysFromData))
        return f.Fail("keys", "holds " + std::to_string(given) + " keys; a show has at most " +
                                  std::to_string(MaxKeysFromData));
    if (given == 0) return f.Fail("keys", "is empty; a show has at least one key");
    if (!f.Int("keyCount", 1, MaxKeysFromData, v.keyCount)) return false;
    if (static_cast<int64_t>(given) != v.keyCount)
        return f.Fail("keyCount", std::to_string(v.keyCount) + " does not match the " +
                                      std::to_string(given) + " keys given");
    if (!(f.String("audio", sizeof(kv::FileSpec::path) - 1, true, v.audio) &&
          f.Int("MatteColor", 0, 0xFFFFFFFFu, v.matte) && f.Int("BorderSize", -1, 100, v.border) &&
          f.Int("PreBlur", 0, std::numeric_limits<int32_t>::max(), v.preBlur) &&
          f.Int("VideoColors", 0, 1, v.videoColors) &&
          f.Int("ContrastBrightness", 0, 0xFFFF, v.contrast)))
        return false;
    if ((v.videoColors != 0) != show.VideoColors)
        return NotInUse(f, "VideoColors", "VideoColors", std::to_string(v.videoColors),
                        show.VideoColors ? "1" : "0");
    return true;
}

// Each key, in time order.
bool ReadShowKeys(const kv::Show& show, ShowValues& v, std::string& error) {
    for (size_t i = 0; i < v.keys->items.size(); ++i) {
        if (!ReadKey(v.keys->items[i], static_cast<int>(i), show.length, v.read[i], error))
            return false;
        // The camera moves from key to key in time order; a key before its predecessor would
        // make a segment of negative length.
        if (i > 0 && v.read[i].time < v.read[i - 1].time) {
            error = "keys[" + std::to_string(i) + "].time: " + std::to_string(v.read[i].time) +
                    " comes before the time of the key before it (" +
                    std::to_string(v.read[i - 1].time) + ")";
            return false;
        }
    }
    return true;
}

void StoreShow(const ShowValues& v, kv::Show& show, const ShowJsonOptions& options) {
    kv::Picture& pic = show.pictures[0];
    if (options.takePicture) pic.fileSpec.SetPath(v.picture.c_str());
    pic.keyCount = static_cast<int32_t>(v.keyCount);
    std::memset(pic.keys, 0, sizeof pic.keys);
    for (int i = 0; i < pic.keyCount; ++i) pic.keys[i] = v.read[i];
    show.pictureCount = static_cast<int32_t>(v.pictureCount);
    if (v.audio.empty())
        show.audio.Clear();
    else
        show.audio.SetPath(v.audio.c_str());
    show.MatteColor = static_cast<uint32_t>(v.matte);
    show.BorderSize = static_cast<int32_t>(v.border);
    show.PreBlur = static_cast<int32_t>(v.preBlur);
    show.ContrastBrightness = static_cast<int32_t>(v.contrast);
    show.MarkChanged();
}

}  // namespace

bool ApplyShowJson(const JsonValue& doc, kv::Show& show, const ShowJsonOptions& options,
                   std::string& error) {
    error.clear();
    if (doc.type != JsonValue::Type::Object) {
        error = std::string("the document wants an object, not ") + JsonTypeName(doc.type);
        return false;
    }
    Fields f(doc, "", error);
    if (!f.Known(ShowFields, std::size(ShowFields))) return false;
    ShowValues v;
    if (!ReadShowHead(f, show, options, v) || !ReadShowTail(f, show, v) ||
        !ReadShowKeys(show, v, error))
        return false;
    // Everything is sound: the show changes now.
    StoreShow(v, show, options);
    return true;
}

bool ReadJsonFile(const std::string& path, std::string& text, std::string& error) {
    std::FILE* f = path == "-" ? stdin : kv::os::OpenFile(path, "rb");
    if (!f) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    text.clear();
    char buf[65536];
    size_t n = 0;
    bool tooLong = false;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (text.size() + n > MaxJsonBytes) {
            tooLong = true;
            break;
        }
        text.append(buf, n);
    }
    const bool readError = std::ferror(f) != 0;
    if (f != stdin) std::fclose(f);
    if (tooLong) {
        error = path + " is longer than " + std::to_string(MaxJsonBytes) + " bytes";
        return false;
    }
    if (readError) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

}  // namespace kvcli
