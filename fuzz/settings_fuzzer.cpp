// Fuzz target for the settings file: any bytes load into a store that stays within its limits,
// the range check runs on anything, and a show takes the values within their ranges and without
// overflowing its frame arithmetic.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/base/settings.h"
#include "core/picture/alert.h"
#include "core/show/show.h"

namespace {

class QuietSink : public kv::AlertSink {
public:
    kv::Answer Show(kv::AlertKind, const std::string&, const std::string&) override {
        return kv::Answer::No;
    }
};

void Setup() {
    static bool done = [] {
        setenv("KINEVISTA_PUBLIC", "/tmp/kv-settings-fuzzer", 1);
        static QuietSink sink;
        kv::SetAlertSink(&sink);
        return true;
    }();
    (void)done;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup();
    kv::Settings s;
    s.LoadText(reinterpret_cast<const char*>(data), size);
    if (s.Text().size() >= static_cast<size_t>(kv::SettingsTextSize)) std::abort();
    if (s.Text().find(kv::AppName) == std::string::npos) std::abort();
    s.CheckValues();

    kv::Show show;
    show.ApplySettings(s);
    if (!kv::ValidFrameRate(show.FrameRate)) std::abort();
    if (show.MultiProcOffset < 0 || show.MultiProcOffset > 1) std::abort();
    show.length = 5 * (show.FrameRate * 60 / 100);  // what the tools do with the rate
    if (show.OneSecond() < 23 || show.OneSecond() > 30) std::abort();

    // Writing a key taken from the input keeps the text within its limits.
    const size_t cut = size > 0 ? data[0] % 32 : 0;
    const std::string key(reinterpret_cast<const char*>(data), cut < size ? cut : size);
    s.WriteString(key.empty() ? "K" : key.c_str(), "value");
    if (s.Text().size() >= static_cast<size_t>(kv::SettingsTextSize)) std::abort();
    return 0;
}
