// The movie commands' record and the settings keys that hold it.
#include "output/movie_settings.h"

#include "core/base/settings.h"

namespace kv {

namespace {

std::string Cut(std::string s) {
    if (s.size() > MaxOptionText) s.resize(MaxOptionText);
    return s;
}

}  // namespace

MovieOptionTexts DefaultMovieOptions() {
    MovieOptionTexts t;
    t.width = "720";
    t.height = "480";
    t.start = "00:00:00";
    t.hold = "00:00:00";
    t.fps = "29.97";
    t.quality = "100";
    t.fields = "1";
    return t;
}

MovieOptionTexts MovieOptionsFor(const MovieSettings& settings, const std::string& endText) {
    MovieOptionTexts t = settings.options;
    t.end = Cut(endText);
    return t;
}

MovieSettings MovieSettingsFrom(const Settings& s) {
    MovieSettings m;
    MovieOptionTexts& t = m.options;
    const MovieOptionTexts d = DefaultMovieOptions();
    t.width = Cut(s.ReadString("MovieWid", d.width.c_str()));
    t.height = Cut(s.ReadString("MovieHgt", d.height.c_str()));
    t.start = Cut(s.ReadString("MovieStart", d.start.c_str()));
    t.hold = Cut(s.ReadString("MovieHold", d.hold.c_str()));
    t.fps = Cut(s.ReadString("MovieFPS", d.fps.c_str()));
    t.quality = Cut(s.ReadString("MovieQuality", d.quality.c_str()));
    t.fields = Cut(s.ReadString("MovieFields", d.fields.c_str()));
    t.reverse = Cut(s.ReadString("MovieReverse", d.reverse.c_str()));
    m.movieType = s.ReadInt("MovieType", 0);
    m.codecType = s.ReadString("CodecType", "");
    m.movieCodec = s.ReadString("MovieCodec", "");
    m.movieAudio = s.ReadInt("MovieAudio", 1) != 0;
    m.initialFolder = s.ReadString("InitialFolder", "");
    return m;
}

bool StoreMovieSettings(const MovieSettings& m, Settings& s) {
    bool ok = true;
    auto put = [&](const char* key, const std::string& value) {
        ok = s.WriteString(key, value.c_str()) && ok;
    };
    if (m.decided & MovieSettings::DecidedCodecType) put("CodecType", m.codecType);
    if (m.decided & MovieSettings::DecidedType) ok = s.WriteInt("MovieType", m.movieType) && ok;
    if (m.decided & MovieSettings::DecidedMovieCodec) put("MovieCodec", m.movieCodec);
    if (m.decided & MovieSettings::DecidedFolder) {
        put("InitialFolder", m.initialFolder);
        ok = s.WriteInt("InitialVrefnum", 9991) && ok;
        ok = s.WriteInt("InitialParID", 9991) && ok;
    }
    if (m.decided & MovieSettings::DecidedOptions) {
        const MovieOptionTexts& t = m.options;
        put("MovieWid", Cut(t.width));
        put("MovieHgt", Cut(t.height));
        put("MovieStart", Cut(t.start));
        put("MovieHold", Cut(t.hold));
        put("MovieFPS", Cut(t.fps));
        put("MovieQuality", Cut(t.quality));
        put("MovieFields", Cut(t.fields));
        put("MovieReverse", Cut(t.reverse));
    }
    return ok;
}

}  // namespace kv
