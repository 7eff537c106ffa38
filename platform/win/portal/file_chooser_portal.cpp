// The file chooser portal over sd-bus. One request at a time: the call returns the request
// object's path at once, the dialog's answer arrives later as its Response signal, which the
// caller collects with Poll while it keeps its own windows painted.
#include "platform/win/portal/file_chooser_portal.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>

namespace kv::portal {

namespace {

constexpr const char* kService = "org.freedesktop.portal.Desktop";
constexpr const char* kObject = "/org/freedesktop/portal/desktop";
constexpr const char* kChooser = "org.freedesktop.portal.FileChooser";
// The dialog stays up as long as the user likes; only the call that opens it is bounded.
constexpr uint64_t kCallMicros = 20'000'000;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char OtherCase(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return static_cast<char>(std::islower(u) ? std::toupper(u) : std::tolower(u));
}

// Each append below answers sd-bus's status; the first failure is kept.
struct Appender {
    sd_bus_message* m;
    int r = 0;
    void Open(char type, const char* contents) {
        if (r >= 0) r = sd_bus_message_open_container(m, type, contents);
    }
    void Close() {
        if (r >= 0) r = sd_bus_message_close_container(m);
    }
    void String(const char* s) {
        if (r >= 0) r = sd_bus_message_append_basic(m, 's', s);
    }
    void Bool(bool b) {
        int v = b ? 1 : 0;
        if (r >= 0) r = sd_bus_message_append_basic(m, 'b', &v);
    }
    void Bytes(const std::string& s) {  // "ay", NUL-terminated as the portal wants paths
        if (r >= 0) r = sd_bus_message_append_array(m, 'y', s.c_str(), s.size() + 1);
    }
    // One "{sv}" entry whose variant holds `signature`, filled by `fill`.
    template <typename Fill>
    void Entry(const char* key, const char* signature, Fill fill) {
        Open('e', "sv");
        String(key);
        Open('v', signature);
        fill();
        Close();
        Close();
    }
    // A filter: (name, [(0, glob) ...]).
    void Filter(const std::pair<std::string, std::string>& type) {
        Open('r', "sa(us)");
        String(type.first.c_str());
        Open('a', "(us)");
        for (const std::string& glob : GlobsOf(type.second)) {
            if (r >= 0) r = sd_bus_message_append(m, "(us)", 0u, glob.c_str());
        }
        Close();
        Close();
    }
};

}  // namespace

struct FileChooserPortal::Bus {
    sd_bus* bus = nullptr;
    sd_bus_slot* match = nullptr;
    std::string handle;
    std::vector<std::string> typeNames;
    unsigned requests = 0;  // numbers the request tokens
    bool pending = false;
    bool done = false;
    ChooserAnswer answer;

    ~Bus() {
        sd_bus_slot_unref(match);
        sd_bus_flush_close_unref(bus);
    }

    bool Listen(const std::string& path) {
        sd_bus_slot_unref(match);
        match = nullptr;
        handle = path;
        return sd_bus_match_signal(bus, &match, nullptr, path.c_str(),
                                   "org.freedesktop.portal.Request", "Response", &OnResponse,
                                   this) >= 0;
    }

    static int OnResponse(sd_bus_message* m, void* self, sd_bus_error*) {
        static_cast<Bus*>(self)->Read(m);
        return 0;
    }

    // (u response, a{sv} results): response 0 is a choice; the results carry "uris" and
    // "current_filter".
    void Read(sd_bus_message* m) {
        done = true;
        pending = false;
        uint32_t response = 2;
        if (sd_bus_message_read(m, "u", &response) < 0 || response != 0) return;
        if (sd_bus_message_enter_container(m, 'a', "{sv}") <= 0) return;
        std::vector<std::string> paths;
        while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
            const char* key = nullptr;
            if (sd_bus_message_read(m, "s", &key) < 0) return;
            const std::string k = key ? key : "";
            if (k == "uris" && sd_bus_message_enter_container(m, 'v', "as") > 0) {
                char** uris = nullptr;
                if (sd_bus_message_read_strv(m, &uris) < 0) return;
                for (char** u = uris; u && *u; ++u) {
                    std::string path = PathOfFileUri(*u);
                    if (!path.empty()) paths.push_back(path);
                    free(*u);
                }
                free(uris);
                sd_bus_message_exit_container(m);
            } else if (k == "current_filter" &&
                       sd_bus_message_enter_container(m, 'v', "(sa(us))") > 0) {
                const char* name = nullptr;
                if (sd_bus_message_enter_container(m, 'r', "sa(us)") > 0 &&
                    sd_bus_message_read(m, "s", &name) >= 0 && name) {
                    for (size_t i = 0; i < typeNames.size(); ++i)
                        if (typeNames[i] == name) answer.type = static_cast<int>(i);
                    sd_bus_message_skip(m, "a(us)");
                    sd_bus_message_exit_container(m);
                }
                sd_bus_message_exit_container(m);
            } else if (sd_bus_message_skip(m, "v") < 0) {
                return;
            }
            sd_bus_message_exit_container(m);
        }
        answer.paths = paths;
        answer.chosen = !paths.empty();
    }
};

std::unique_ptr<FileChooserPortal> FileChooserPortal::Connect(int probeMs) {
    auto bus = std::make_unique<Bus>();
    if (sd_bus_open_user(&bus->bus) < 0) return nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    uint32_t version = 0;
    int r = sd_bus_message_new_method_call(bus->bus, &call, kService, kObject,
                                           "org.freedesktop.DBus.Properties", "Get");
    if (r >= 0) r = sd_bus_message_append(call, "ss", kChooser, "version");
    if (r >= 0)
        r = sd_bus_call(bus->bus, call, static_cast<uint64_t>(probeMs) * 1000, &error, &reply);
    if (r >= 0) r = sd_bus_message_read(reply, "v", "u", &version);
    sd_bus_message_unref(call);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    if (r < 0 || version < 1) return nullptr;
    return std::unique_ptr<FileChooserPortal>(
        new FileChooserPortal(std::move(bus), static_cast<int>(version)));
}

FileChooserPortal::FileChooserPortal(std::unique_ptr<Bus> bus, int version)
    : m_bus(std::move(bus)), m_version(version) {}

FileChooserPortal::~FileChooserPortal() {
    Close();
}

bool FileChooserPortal::Start(const ChooserRequest& rq) {
    Bus& b = *m_bus;
    const char* unique = nullptr;
    if (sd_bus_get_unique_name(b.bus, &unique) < 0 || !unique) return false;
    const std::string token =
        "kinevista" + std::to_string(getpid()) + "_" + std::to_string(++b.requests);
    // Listen before calling, so that an answer that comes at once is not missed.
    if (!b.Listen(RequestPath(unique, token))) return false;
    b.typeNames.clear();
    for (const auto& t : rq.types) b.typeNames.push_back(t.first);
    b.answer = ChooserAnswer{};
    b.done = false;

    sd_bus_message* call = nullptr;
    if (sd_bus_message_new_method_call(b.bus, &call, kService, kObject, kChooser,
                                       rq.save ? "SaveFile" : "OpenFile") < 0)
        return false;
    Appender a{call};
    a.String(rq.parentWindow.c_str());
    a.String(rq.title.c_str());
    a.Open('a', "{sv}");
    a.Entry("handle_token", "s", [&] { a.String(token.c_str()); });
    a.Entry("modal", "b", [&] { a.Bool(true); });
    if (!rq.save) a.Entry("multiple", "b", [&] { a.Bool(rq.multiple); });
    if (!rq.types.empty()) {
        a.Entry("filters", "a(sa(us))", [&] {
            a.Open('a', "(sa(us))");
            for (const auto& t : rq.types) a.Filter(t);
            a.Close();
        });
        if (rq.current >= 0 && rq.current < static_cast<int>(rq.types.size()))
            a.Entry("current_filter", "(sa(us))", [&] { a.Filter(rq.types[rq.current]); });
    }
    if (rq.save && !rq.name.empty())
        a.Entry("current_name", "s", [&] { a.String(rq.name.c_str()); });
    if (!rq.folder.empty()) a.Entry("current_folder", "ay", [&] { a.Bytes(rq.folder); });
    a.Close();
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int r = a.r;
    if (r >= 0) r = sd_bus_call(b.bus, call, kCallMicros, &error, &reply);
    const char* handle = nullptr;
    if (r >= 0) r = sd_bus_message_read(reply, "o", &handle);
    // A portal older than the request-path rule answers on a path of its own.
    if (r >= 0 && handle && b.handle != handle && !b.Listen(handle)) r = -1;
    sd_bus_message_unref(call);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    b.pending = r >= 0;
    return b.pending;
}

bool FileChooserPortal::Poll(ChooserAnswer* answer) {
    Bus& b = *m_bus;
    int r = 0;
    while (!b.done && (r = sd_bus_process(b.bus, nullptr)) > 0) {
    }
    if (!b.done && r < 0) {  // the bus went away: nothing was chosen
        b.done = true;
        b.pending = false;
    }
    if (b.done) *answer = b.answer;
    return b.done;
}

void FileChooserPortal::Wait(int ms) {
    sd_bus_wait(m_bus->bus, static_cast<uint64_t>(ms) * 1000);
}

void FileChooserPortal::Close() {
    Bus& b = *m_bus;
    if (!b.pending) return;
    b.pending = false;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    if (sd_bus_message_new_method_call(b.bus, &call, kService, b.handle.c_str(),
                                       "org.freedesktop.portal.Request", "Close") >= 0)
        sd_bus_call(b.bus, call, 2'000'000, &error, &reply);
    sd_bus_message_unref(call);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
}

std::string RequestPath(const std::string& uniqueName, const std::string& token) {
    std::string sender =
        uniqueName.size() > 1 && uniqueName[0] == ':' ? uniqueName.substr(1) : uniqueName;
    for (char& c : sender)
        if (c == '.') c = '_';
    return std::string(kObject) + "/request/" + sender + "/" + token;
}

std::string PathOfFileUri(const std::string& uri) {
    const std::string scheme = "file://";
    if (uri.compare(0, scheme.size(), scheme) != 0) return std::string();
    std::string rest = uri.substr(scheme.size());
    // "file://localhost/x" names the local file /x as well.
    if (rest.compare(0, 9, "localhost") == 0) rest.erase(0, 9);
    if (rest.empty() || rest[0] != '/') return std::string();
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path += rest[i];
            continue;
        }
        if (i + 2 >= rest.size()) return std::string();
        int hi = HexValue(rest[i + 1]), lo = HexValue(rest[i + 2]);
        if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return std::string();
        path += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return path;
}

std::vector<std::string> GlobsOf(const std::string& patterns) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= patterns.size()) {
        size_t semi = patterns.find(';', start);
        std::string p = patterns.substr(start, semi == std::string::npos ? semi : semi - start);
        while (!p.empty() && p.front() == ' ') p.erase(p.begin());
        while (!p.empty() && p.back() == ' ') p.pop_back();
        if (!p.empty()) {
            if (p == "*.*") p = "*";
            out.push_back(p);
            std::string other = p;
            for (char& c : other) c = OtherCase(c);
            if (other != p) out.push_back(other);
        }
        if (semi == std::string::npos) break;
        start = semi + 1;
    }
    return out;
}

}  // namespace kv::portal
