// The desktop's own file dialog through the file chooser portal
// (org.freedesktop.portal.FileChooser on the session bus): the dialog the desktop shows every
// program, with its places, previews and recent files. Linux only.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kv::portal {

struct ChooserRequest {
    bool save = false;
    bool multiple = false;     // open only
    std::string parentWindow;  // "x11:<hex XID>", or empty when the owner has none
    std::string title;
    std::string folder;  // the folder the dialog starts in, when not empty
    std::string name;    // save only: the proposed name
    // (name, "*.a;*.b") pairs, as a "Name|pattern|" filter lists them; `current` is the one
    // chosen first (-1: none).
    std::vector<std::pair<std::string, std::string>> types;
    int current = -1;
};

struct ChooserAnswer {
    bool chosen = false;             // false: cancelled, closed or failed
    std::vector<std::string> paths;  // local paths, decoded from the portal's file: URIs
    int type = -1;                   // index into the request's types, -1 when not said
};

// One connection to the session bus that has found the portal. Made by Connect, which answers
// null (at once, or after `probeMs` at most) when there is no session bus or no portal on it.
class FileChooserPortal {
public:
    static std::unique_ptr<FileChooserPortal> Connect(int probeMs);
    ~FileChooserPortal();
    FileChooserPortal(const FileChooserPortal&) = delete;
    FileChooserPortal& operator=(const FileChooserPortal&) = delete;

    int Version() const { return m_version; }
    // Asks the portal to show its dialog; false when the portal refused the call.
    bool Start(const ChooserRequest& request);
    // Handles what the bus has for us without blocking; true once the dialog has answered (or
    // the connection failed), with the answer in `answer`.
    bool Poll(ChooserAnswer* answer);
    // Waits up to `ms` for the bus to have something for us.
    void Wait(int ms);
    // Withdraws a dialog still on screen (the program is ending).
    void Close();

    struct Bus;

private:
    explicit FileChooserPortal(std::unique_ptr<Bus> bus, int version);
    std::unique_ptr<Bus> m_bus;
    int m_version = 0;
};

// The portal's pieces, apart for the tests.
// The request object the portal answers on: /org/freedesktop/portal/desktop/request/SENDER/TOKEN
// with the unique name ":1.42" written "1_42".
std::string RequestPath(const std::string& uniqueName, const std::string& token);
// "file:///a%20b/c" to "/a b/c"; empty for another scheme or a malformed escape.
std::string PathOfFileUri(const std::string& uri);
// The glob patterns of "*.jpg;*.JPEG": each as given and in the other case, so that the
// desktop's case-sensitive match still finds "PHOTO.JPG".
std::vector<std::string> GlobsOf(const std::string& patterns);

}  // namespace kv::portal
