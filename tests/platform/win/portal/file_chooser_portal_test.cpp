// The file chooser portal client against a portal served in the test on a private session bus:
// what the client asks for, how it reads the answer, and the dialog falling back when no portal
// is there.
#include "platform/win/portal/file_chooser_portal.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/win/portal/portal_dialog.h"
#include "tests/platform/win/test_window.h"
#include "tests/test_support.h"

using namespace kv;
using namespace kv::portal;

namespace {

// A dbus-daemon of the test's own, starting no services (the desktop's portal, when installed,
// stays out of it); the session bus address points at it while it lives.
class PrivateBus {
public:
    PrivateBus() {
        const std::string config = kvtest::TempDir("bus") + "/session.conf";
        kvtest::WriteFileBytes(
            config,
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus "
            "Configuration 1.0//EN\"\n \"http://www.freedesktop.org/standards/"
            "dbus/1.0/busconfig.dtd\">\n<busconfig><type>session</type>"
            "<listen>unix:tmpdir=/tmp</listen><policy context=\"default\">"
            "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
            "<allow own=\"*\"/></policy>"
            "</busconfig>\n");
        const std::string configArg = "--config-file=" + config;
        int out[2];
        if (pipe(out) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], 1);
            close(out[0]);
            execlp("dbus-daemon", "dbus-daemon", configArg.c_str(), "--nofork", "--print-address=1",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        char buf[512];
        std::string line;
        ssize_t n;
        while (line.find('\n') == std::string::npos && (n = read(out[0], buf, sizeof buf)) > 0)
            line.append(buf, static_cast<size_t>(n));
        close(out[0]);
        if (line.find('\n') != std::string::npos) m_address = line.substr(0, line.find('\n'));
        const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        m_had = old != nullptr;
        if (old) m_old = old;
        if (!m_address.empty()) setenv("DBUS_SESSION_BUS_ADDRESS", m_address.c_str(), 1);
    }
    ~PrivateBus() {
        if (m_had)
            setenv("DBUS_SESSION_BUS_ADDRESS", m_old.c_str(), 1);
        else
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    bool Up() const { return !m_address.empty(); }

private:
    pid_t m_pid = -1;
    std::string m_address, m_old;
    bool m_had = false;
};

// What the served portal was asked, and what it answers.
struct Asked {
    std::string method, parent, title, token, name, folder, currentFilter;
    bool modal = false, multiple = false;
    std::vector<std::string> filterNames;
    std::vector<std::vector<std::string>> filterGlobs;
};

struct PortalReply {
    uint32_t response = 0;
    std::vector<std::string> uris;
    std::string filter;  // the current_filter's name; empty: not sent
};

// The portal's FileChooser on its well-known name, served from a thread of its own.
class ServedPortal {
public:
    explicit ServedPortal(PortalReply answer) : m_answer(std::move(answer)) {
        if (sd_bus_open_user(&m_bus) < 0) return;
        static const sd_bus_vtable table[] = {
            SD_BUS_VTABLE_START(0),
            SD_BUS_PROPERTY("version", "u", &ServedPortal::Version, 0,
                            SD_BUS_VTABLE_PROPERTY_CONST),
            SD_BUS_METHOD("OpenFile", "ssa{sv}", "o", &ServedPortal::Call, 0),
            SD_BUS_METHOD("SaveFile", "ssa{sv}", "o", &ServedPortal::Call, 0), SD_BUS_VTABLE_END};
        if (sd_bus_add_object_vtable(m_bus, nullptr, "/org/freedesktop/portal/desktop",
                                     "org.freedesktop.portal.FileChooser", table, this) < 0 ||
            sd_bus_request_name(m_bus, "org.freedesktop.portal.Desktop", 0) < 0)
            return;
        m_ready = true;
        m_thread = std::thread([this] {
            while (!m_stop) {
                while (sd_bus_process(m_bus, nullptr) > 0) {
                }
                sd_bus_wait(m_bus, 50'000);
            }
        });
    }
    ~ServedPortal() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        sd_bus_flush_close_unref(m_bus);
    }
    bool Ready() const { return m_ready; }
    Asked Seen() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_asked;
    }

private:
    static int Version(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                       sd_bus_error*) {
        return sd_bus_message_append(reply, "u", 4u);
    }

    static int Call(sd_bus_message* m, void* self, sd_bus_error*) {
        return static_cast<ServedPortal*>(self)->Serve(m);
    }

    static std::string ReadFilter(sd_bus_message* m, std::vector<std::string>* globs) {
        const char* name = "";
        sd_bus_message_enter_container(m, 'r', "sa(us)");
        sd_bus_message_read(m, "s", &name);
        std::string out = name;
        sd_bus_message_enter_container(m, 'a', "(us)");
        uint32_t kind;
        const char* glob;
        while (sd_bus_message_read(m, "(us)", &kind, &glob) > 0)
            if (globs) globs->push_back(glob);
        sd_bus_message_exit_container(m);
        sd_bus_message_exit_container(m);
        return out;
    }

    int Serve(sd_bus_message* m) {
        Asked a;
        a.method = sd_bus_message_get_member(m);
        const char *parent, *title;
        sd_bus_message_read(m, "ss", &parent, &title);
        a.parent = parent;
        a.title = title;
        sd_bus_message_enter_container(m, 'a', "{sv}");
        while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
            const char* key;
            sd_bus_message_read(m, "s", &key);
            const std::string k = key;
            const char* s;
            int b;
            if (k == "handle_token" || k == "current_name") {
                sd_bus_message_read(m, "v", "s", &s);
                (k == "handle_token" ? a.token : a.name) = s;
            } else if (k == "modal" || k == "multiple") {
                sd_bus_message_read(m, "v", "b", &b);
                (k == "modal" ? a.modal : a.multiple) = b != 0;
            } else if (k == "current_folder") {
                const void* bytes;
                size_t size;
                sd_bus_message_enter_container(m, 'v', "ay");
                sd_bus_message_read_array(m, 'y', &bytes, &size);
                a.folder.assign(static_cast<const char*>(bytes), size);
                sd_bus_message_exit_container(m);
            } else if (k == "filters") {
                sd_bus_message_enter_container(m, 'v', "a(sa(us))");
                sd_bus_message_enter_container(m, 'a', "(sa(us))");
                while (!sd_bus_message_at_end(m, 0)) {
                    std::vector<std::string> globs;
                    a.filterNames.push_back(ReadFilter(m, &globs));
                    a.filterGlobs.push_back(globs);
                }
                sd_bus_message_exit_container(m);
                sd_bus_message_exit_container(m);
            } else if (k == "current_filter") {
                sd_bus_message_enter_container(m, 'v', "(sa(us))");
                a.currentFilter = ReadFilter(m, nullptr);
                sd_bus_message_exit_container(m);
            } else {
                sd_bus_message_skip(m, "v");
            }
            sd_bus_message_exit_container(m);
        }
        {
            std::lock_guard<std::mutex> g(m_lock);
            m_asked = a;
        }
        const std::string path = RequestPath(sd_bus_message_get_sender(m), a.token);
        int r = sd_bus_reply_method_return(m, "o", path.c_str());
        if (r < 0) return r;
        // The answer, as the desktop's dialog gives it when the user is done.
        sd_bus_message* signal = nullptr;
        r = sd_bus_message_new_signal(m_bus, &signal, path.c_str(),
                                      "org.freedesktop.portal.Request", "Response");
        if (r >= 0) r = sd_bus_message_append(signal, "u", m_answer.response);
        if (r >= 0) r = sd_bus_message_open_container(signal, 'a', "{sv}");
        if (r >= 0 && !m_answer.uris.empty()) {
            r = sd_bus_message_open_container(signal, 'e', "sv");
            if (r >= 0) r = sd_bus_message_append(signal, "s", "uris");
            if (r >= 0) r = sd_bus_message_open_container(signal, 'v', "as");
            if (r >= 0) r = sd_bus_message_open_container(signal, 'a', "s");
            for (const std::string& u : m_answer.uris)
                if (r >= 0) r = sd_bus_message_append(signal, "s", u.c_str());
            for (int i = 0; i < 3 && r >= 0; ++i) r = sd_bus_message_close_container(signal);
        }
        if (r >= 0 && !m_answer.filter.empty())
            r = sd_bus_message_append(signal, "{sv}", "current_filter", "(sa(us))",
                                      m_answer.filter.c_str(), 1, 0u, "*");
        // A key the client does not know is passed over.
        if (r >= 0) r = sd_bus_message_append(signal, "{sv}", "choices", "a(ss)", 1, "a", "b");
        if (r >= 0) r = sd_bus_message_close_container(signal);
        if (r >= 0) r = sd_bus_send(m_bus, signal, nullptr);
        sd_bus_message_unref(signal);
        return r < 0 ? r : 1;
    }

    PortalReply m_answer;
    sd_bus* m_bus = nullptr;
    bool m_ready = false;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::mutex m_lock;
    Asked m_asked;
};

bool HaveDaemon() {
    return std::system("command -v dbus-daemon >/dev/null 2>&1") == 0;
}

ChooserAnswer Ask(FileChooserPortal& portal, const ChooserRequest& rq) {
    ChooserAnswer answer;
    EXPECT_TRUE(portal.Start(rq));
    for (int i = 0; i < 500 && !portal.Poll(&answer); ++i) portal.Wait(20);
    return answer;
}

}  // namespace

TEST(FileChooserPortal, NamesRequestsDecodesUrisAndWidensGlobs) {
    EXPECT_EQ(RequestPath(":1.42", "kv_3"), "/org/freedesktop/portal/desktop/request/1_42/kv_3");
    EXPECT_EQ(PathOfFileUri("file:///home/a%20b/F%C3%AAte.kvx"), "/home/a b/F\xC3\xAAte.kvx");
    EXPECT_EQ(PathOfFileUri("file://localhost/tmp/x.jpg"), "/tmp/x.jpg");
    for (const char* bad : {"http://x/y", "file://host/y", "file:///a%2", "file:///a%zz",
                            "file:///a%00b", "/plain/path"})
        EXPECT_EQ(PathOfFileUri(bad), "") << bad;
    EXPECT_EQ(GlobsOf("*.jpg; *.JPEG;*.Tif"),
              (std::vector<std::string>{"*.jpg", "*.JPG", "*.JPEG", "*.jpeg", "*.Tif", "*.tIF"}));
    EXPECT_EQ(GlobsOf("*.*"), (std::vector<std::string>{"*"}));
}

TEST(FileChooserPortal, NoBusOrNoPortalOnItMeansOurOwnDialog) {
    if (!HaveDaemon()) GTEST_SKIP() << "dbus-daemon not installed (make test installs it)";
    {
        const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        std::string saved = old ? old : "";
        setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kinevista-bus", 1);
        EXPECT_EQ(FileChooserPortal::Connect(3000), nullptr);
        if (old)
            setenv("DBUS_SESSION_BUS_ADDRESS", saved.c_str(), 1);
        else
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
    PrivateBus bus;
    ASSERT_TRUE(bus.Up());
    EXPECT_EQ(FileChooserPortal::Connect(3000), nullptr);
}

TEST(FileChooserPortal, OpenAsksWithTypesAndFolderAndReadsTheChosenFiles) {
    if (!HaveDaemon()) GTEST_SKIP() << "dbus-daemon not installed (make test installs it)";
    PrivateBus bus;
    ASSERT_TRUE(bus.Up());
    ServedPortal served(
        PortalReply{0, {"file:///tmp/pics/a%20b.jpg", "file:///tmp/pics/%C3%A9.png"}, "Pictures"});
    ASSERT_TRUE(served.Ready());
    auto portal = FileChooserPortal::Connect(3000);
    ASSERT_NE(portal, nullptr);
    EXPECT_EQ(portal->Version(), 4);
    ChooserRequest rq;
    rq.multiple = true;
    rq.parentWindow = "x11:3a0001c";
    rq.title = "Load Picture";
    rq.folder = "/tmp/pics";
    rq.types = {{"All", "*.*"}, {"Pictures", "*.jpg;*.png"}};
    rq.current = 1;
    ChooserAnswer answer = Ask(*portal, rq);
    ASSERT_TRUE(answer.chosen);
    EXPECT_EQ(answer.paths,
              (std::vector<std::string>{"/tmp/pics/a b.jpg", "/tmp/pics/\xC3\xA9.png"}));
    EXPECT_EQ(answer.type, 1);
    Asked a = served.Seen();
    EXPECT_EQ(a.method, "OpenFile");
    EXPECT_EQ(a.parent, "x11:3a0001c");
    EXPECT_EQ(a.title, "Load Picture");
    EXPECT_TRUE(a.modal);
    EXPECT_TRUE(a.multiple);
    EXPECT_EQ(a.folder, std::string("/tmp/pics") + '\0');
    EXPECT_EQ(a.filterNames, (std::vector<std::string>{"All", "Pictures"}));
    ASSERT_EQ(a.filterGlobs.size(), 2u);
    EXPECT_EQ(a.filterGlobs[1], (std::vector<std::string>{"*.jpg", "*.JPG", "*.png", "*.PNG"}));
    EXPECT_EQ(a.currentFilter, "Pictures");
    // A second request on the same connection gets a request object of its own.
    const std::string firstToken = a.token;
    answer = Ask(*portal, rq);
    EXPECT_TRUE(answer.chosen);
    EXPECT_NE(served.Seen().token, firstToken);
}

TEST(FileChooserPortal, ACancelledSaveChoosesNothing) {
    if (!HaveDaemon()) GTEST_SKIP() << "dbus-daemon not installed (make test installs it)";
    PrivateBus bus;
    ASSERT_TRUE(bus.Up());
    ServedPortal served(PortalReply{1, {}, ""});
    ASSERT_TRUE(served.Ready());
    auto portal = FileChooserPortal::Connect(3000);
    ASSERT_NE(portal, nullptr);
    ChooserRequest rq;
    rq.save = true;
    rq.name = "clip.avi";
    ChooserAnswer answer = Ask(*portal, rq);
    EXPECT_FALSE(answer.chosen);
    EXPECT_TRUE(answer.paths.empty());
    EXPECT_EQ(served.Seen().method, "SaveFile");
    EXPECT_EQ(served.Seen().name, "clip.avi");
}

// The layer's dialog call through the portal: the save type the user chose in the desktop's
// dialog gives a bare name its extension; with KINEVISTA_NO_PORTAL the portal is not asked.
TEST(FileChooserPortal, TheLayersSaveDialogTakesTheChosenTypesExtension) {
    if (!HaveDaemon()) GTEST_SKIP() << "dbus-daemon not installed (make test installs it)";
    kvtest::UseHeadless();
    PrivateBus bus;
    ASSERT_TRUE(bus.Up());
    ServedPortal served(PortalReply{0, {"file:///tmp/movies/clip"}, "MPEG-4 Movies (*.mp4)"});
    ASSERT_TRUE(served.Ready());
    FileDialogRequest save;
    save.save = true;
    save.filter = "AVI Movies (*.avi)|*.avi|MPEG-4 Movies (*.mp4)|*.mp4||";
    save.initialName = "clip.mp4";
    save.title = "Save Movie As";
    std::vector<std::string> paths;
    bool ok = false;
    ASSERT_TRUE(AskThroughPortal(save, "", &paths, &ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(paths, (std::vector<std::string>{"/tmp/movies/clip.mp4"}));
    // The proposed name's type is the one the dialog starts on.
    EXPECT_EQ(served.Seen().currentFilter, "MPEG-4 Movies (*.mp4)");
    setenv("KINEVISTA_NO_PORTAL", "1", 1);
    EXPECT_FALSE(AskThroughPortal(save, "", &paths, &ok));
    unsetenv("KINEVISTA_NO_PORTAL");
}
