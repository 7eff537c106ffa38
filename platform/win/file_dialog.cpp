// The layer's own open/save file dialog: its filter parsing and patterns, the places it offers,
// the dialog itself and the answer it hands back (one path, or a folder and names).
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/win/dialog_kit.h"
#include "platform/win/internal.h"

namespace kv {

std::vector<std::pair<std::string, std::string>> ParseFilter(const std::string& filter) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : filter) {
        if (c == '|' || c == '\0') {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    std::vector<std::pair<std::string, std::string>> out;
    for (size_t i = 0; i + 1 < parts.size(); i += 2)
        if (!parts[i].empty() || !parts[i + 1].empty()) out.emplace_back(parts[i], parts[i + 1]);
    return out;
}

namespace {

bool Wild(const char* p, const char* s) {
    if (!*p) return !*s;
    if (*p == '*') return Wild(p + 1, s) || (*s && Wild(p, s + 1));
    if (!*s) return false;
    if (*p == '?' || std::tolower(static_cast<unsigned char>(*p)) ==
                         std::tolower(static_cast<unsigned char>(*s)))
        return Wild(p + 1, s + 1);
    return false;
}

bool IsDir(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0;
}

std::string FolderOf(const std::string& path) {
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? std::string(".") : (cut == 0 ? "/" : path.substr(0, cut));
}

std::string NameOf(const std::string& path) {
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// Reads at most `limit` bytes of a small text file; empty when it cannot be read.
std::string ReadSmallFile(const std::string& path, size_t limit) {
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while (text.size() < limit && (n = std::fread(buf, 1, sizeof buf, f)) > 0)
            text.append(buf, std::min(n, limit - text.size()));
        std::fclose(f);
    }
    return text;
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/";
}

// The places offered beside the listing: the home folder, the desktop's picture, video and
// desktop folders that exist (under their own, possibly localised, names) and the show's folder.
std::vector<std::pair<std::string, std::string>> DialogPlaces(const std::string& showFolder) {
    std::vector<std::pair<std::string, std::string>> places;
    const std::string home = HomeFolder();
    places.emplace_back("Home", home);
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string dirsFile = (config && *config ? std::string(config) : Join(home, ".config"));
    dirsFile = Join(dirsFile, "user-dirs.dirs");
    auto dirs = ParseUserDirs(ReadSmallFile(dirsFile, 64 * 1024), home);
    for (const char* key : {"DESKTOP", "PICTURES", "VIDEOS"}) {
        for (const auto& [k, folder] : dirs) {
            if (k != key || folder == home || !IsDir(folder)) continue;
            places.emplace_back(NameOf(folder), folder);
            break;
        }
    }
    if (!showFolder.empty() && IsDir(showFolder)) places.emplace_back("Show's Folder", showFolder);
    return places;
}

// The layer's own open/save dialog: places on the left, a folder's listing with a parent-folder
// button, a name field, a file type that a click cycles through, and OK and Cancel.
class FileDialog {
public:
    FileDialog(const FileDialogRequest& rq, std::vector<std::string>* chosen)
        : rq_(rq), chosen_(chosen), filters_(ParseFilter(rq.filter)) {
        if (filters_.empty()) filters_.emplace_back("All Files (*.*)", "*");
        folder_ = StartFolder(rq.initialFolder);
        places_ = DialogPlaces(rq.showFolder);
    }

    // Runs the dialog to its end; true when files were chosen.
    bool Run() {
        font_ = CreateFont(-12, FW_NORMAL, false, false, FF_SWISS, "Arial");
        Reload();
        DialogHandler handler = [this](HWND d, uint32_t msg, uint64_t wParam, int64_t lParam) {
            Handle(d, msg, wParam, lParam);
        };
        FocusKeeper keep;
        dialog_ =
            MakeDialog(rq_.owner, rq_.title.empty() ? (rq_.save ? "Save As" : "Open") : rq_.title,
                       W, H, &handler);
        if (!dialog_) {
            DeleteObject(font_);
            return false;
        }
        nameField_ = CreateWindowEx(0, "edit", rq_.initialName, WS_CHILD | WS_VISIBLE | WS_BORDER,
                                    ListLeft + 50, H - 34, W - ListLeft - 230, 22, dialog_, 1);
        if (nameField_) {
            SendMessage(nameField_, WM_SETFONT, reinterpret_cast<uint64_t>(font_), 0);
            SetFocus(nameField_);
        }
        // Enter and Escape in the name field act on the dialog, as does Backspace in an empty
        // one; any other key there makes the typed name, not the list, what OK acts on.
        ModalLoop(
            dialog_, [&] { return done_ != 0; },
            [&](const MSG& m) {
                if (m.hwnd != nameField_ || (m.message != WM_KEYDOWN && m.message != WM_CHAR))
                    return false;
                if (m.message == WM_KEYDOWN &&
                    (m.wParam == VK_RETURN || m.wParam == VK_ESCAPE ||
                     (m.wParam == VK_BACK && GetWindowText(nameField_).empty()))) {
                    handler(dialog_, WM_KEYDOWN, m.wParam, m.lParam);
                    return true;
                }
                if (m.message == WM_CHAR &&
                    (m.wParam == '\r' || m.wParam == 27 ||
                     (m.wParam == '\b' && GetWindowText(nameField_).empty())))
                    return true;
                if (m.wParam != VK_TAB) listActive_ = false;
                return false;
            });
        SetWindowUserData(dialog_, nullptr);
        DestroyWindow(dialog_);
        DeleteObject(font_);
        return done_ == 1;
    }

    // The extension of the type chosen last (empty for a type that names none).
    std::string TypeExtension() const { return PatternExtension(filters_[filterIndex_].second); }

private:
    struct Entry {
        std::string name;
        bool dir;
    };
    static constexpr int W = 600, H = 380, rowH = 18, listTop = 30, rows = 15;
    static constexpr int ListLeft = 140, PlaceH = 22;

    // The folder asked for (or the one holding the file asked for), else the home folder.
    static std::string StartFolder(std::string folder) {
        if (!folder.empty() && !IsDir(folder)) folder = FolderOf(folder);
        if (folder.empty() || !IsDir(folder)) folder = HomeFolder();
        return folder;
    }

    // Lists the folder: ".." unless at the root, then its folders and the files of the chosen
    // type, each by name; hidden entries are left out.
    void Reload() {
        entries_.clear();
        if (folder_ != "/") entries_.push_back({"..", true});
        std::vector<Entry> dirs, files;
        if (DIR* d = opendir(folder_.c_str())) {
            while (dirent* e = readdir(d)) {
                std::string n = e->d_name;
                if (n == "." || n == ".." || n[0] == '.') continue;
                if (IsDir(Join(folder_, n)))
                    dirs.push_back({n, true});
                else if (MatchesPattern(n, filters_[filterIndex_].second))
                    files.push_back({n, false});
            }
            closedir(d);
        }
        auto byName = [](const Entry& a, const Entry& b) { return a.name < b.name; };
        std::sort(dirs.begin(), dirs.end(), byName);
        std::sort(files.begin(), files.end(), byName);
        entries_.insert(entries_.end(), dirs.begin(), dirs.end());
        entries_.insert(entries_.end(), files.begin(), files.end());
        selected_.assign(entries_.size(), false);
        top_ = 0;
        anchor_ = -1;
        listActive_ = false;
    }

    // Shows another folder; a name to save under stays, a name to open is of the old folder.
    void GoTo(HWND d, const std::string& folder) {
        if (!IsDir(folder)) return;
        if (!rq_.save && nameField_) SetWindowText(nameField_, "");
        folder_ = folder;
        Reload();
        Paint(d);
    }

    void GoUp(HWND d) {
        if (folder_ != "/") GoTo(d, FolderOf(folder_));
    }

    void FillBox(HDC dc, const Rect& r, COLORREF colour) {
        HBRUSH b = CreateSolidBrush(colour);
        FillRect(dc, &r, b);
        DeleteObject(b);
    }

    void PaintPlaces(HDC dc) {
        FillBox(dc, Rect{10, listTop, ListLeft - 10, listTop + rows * rowH + 2},
                RGB(250, 250, 250));
        for (size_t i = 0; i < places_.size(); ++i) {
            int y = listTop + 1 + static_cast<int>(i) * PlaceH;
            bool here = places_[i].second == folder_;
            if (here) FillBox(dc, Rect{11, y, ListLeft - 11, y + PlaceH}, RGB(205, 225, 245));
            SetTextColor(dc, RGB(0, 0, 0));
            TextOut(dc, 16, y + 4, places_[i].first);
        }
    }

    void PaintList(HDC dc) {
        FillBox(dc, Rect{ListLeft, listTop, W - 10, listTop + rows * rowH + 2}, RGB(255, 255, 255));
        for (int i = 0; i < rows && top_ + i < static_cast<int>(entries_.size()); ++i) {
            int idx = top_ + i;
            int y = listTop + 1 + i * rowH;
            if (selected_[idx])
                FillBox(dc, Rect{ListLeft + 1, y, W - 11, y + rowH}, RGB(0, 84, 166));
            SetTextColor(dc, selected_[idx] ? RGB(255, 255, 255) : RGB(0, 0, 0));
            TextOut(dc, ListLeft + 6, y + 2,
                    entries_[idx].dir ? "[" + entries_[idx].name + "]" : entries_[idx].name);
        }
    }

    void Paint(HWND d) {
        HDC dc = BeginDialogPaint(d);
        HGDIOBJ of = SelectObject(dc, font_);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        DrawButton(dc, up_, false);
        TextOut(dc, ListLeft, 8, folder_);
        PaintPlaces(dc);
        PaintList(dc);
        SetTextColor(dc, RGB(0, 0, 0));
        TextOut(dc, filterBox_.left, filterBox_.top + 3, "Type: " + filters_[filterIndex_].first);
        TextOut(dc, ListLeft, H - 30, "Name:");
        DrawButton(dc, ok_, true);
        DrawButton(dc, cancel_, false);
        SelectObject(dc, of);
        ReleaseDC(d, dc);
    }

    // OK or Enter: a folder picked in the list or typed is opened; else a typed name is chosen
    // (when it must exist, only if it does), else the selected files are.
    void Accept() {
        chosen_->clear();
        if (listActive_) {
            for (size_t i = 0; i < entries_.size(); ++i)
                if (selected_[i] && entries_[i].dir) {
                    OpenRow(dialog_, static_cast<int>(i));
                    return;
                }
        }
        std::string typed = nameField_ ? GetWindowText(nameField_) : "";
        if (!typed.empty()) {
            std::string full = typed[0] == '/' ? typed : Join(folder_, typed);
            if (IsDir(full)) {
                GoTo(dialog_, full);
                SetWindowText(nameField_, "");
                return;
            }
            if (!rq_.save && rq_.mustExist && !Exists(full)) {
                MessageBox(dialog_, typed + "\nFile not found.", rq_.title, MB_OK);
                return;
            }
            chosen_->push_back(full);
        } else {
            for (size_t i = 0; i < entries_.size(); ++i)
                if (selected_[i] && !entries_[i].dir)
                    chosen_->push_back(Join(folder_, entries_[i].name));
        }
        if (!chosen_->empty()) done_ = 1;
    }

    // A click on a row selects it (Ctrl toggles it when several may be chosen) and names it.
    void ClickRow(HWND d, int idx, bool ctrl) {
        if (!(rq_.multiple && ctrl)) selected_.assign(entries_.size(), false);
        selected_[idx] = rq_.multiple && ctrl ? !selected_[idx] : true;
        anchor_ = idx;
        listActive_ = true;
        if (!entries_[idx].dir && nameField_)
            SetWindowText(nameField_, rq_.multiple && ctrl ? "" : entries_[idx].name);
        Paint(d);
    }

    // A double-click opens a folder or chooses a file.
    void OpenRow(HWND d, int idx) {
        if (entries_[idx].dir) {
            if (entries_[idx].name == "..")
                GoUp(d);
            else
                GoTo(d, Join(folder_, entries_[idx].name));
        } else {
            chosen_->assign(1, Join(folder_, entries_[idx].name));
            done_ = 1;
        }
    }

    // The next file type; a name carrying the old type's extension takes the new one's.
    void NextType(HWND d) {
        size_t next = (filterIndex_ + 1) % filters_.size();
        if (nameField_) {
            std::string name = GetWindowText(nameField_);
            std::string renamed =
                NameForType(name, filters_[filterIndex_].second, filters_[next].second);
            if (renamed != name) SetWindowText(nameField_, renamed);
        }
        filterIndex_ = next;
        Reload();
        Paint(d);
    }

    // A release on a button presses it; one on the file type moves to the next type.
    void ReleaseAt(HWND d, int x, int y, int64_t lParam) {
        if (HitButton(ok_, lParam))
            Accept();
        else if (HitButton(cancel_, lParam))
            done_ = 2;
        else if (HitButton(up_, lParam))
            GoUp(d);
        else if (x >= filterBox_.left && x < filterBox_.right && y >= filterBox_.top &&
                 y < filterBox_.bottom)
            NextType(d);
    }

    void Handle(HWND d, uint32_t msg, uint64_t wParam, int64_t lParam) {
        int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
        int row = (y - listTop - 1) / rowH;
        bool inList = x >= ListLeft && x < W - 10 && y > listTop && row >= 0 && row < rows;
        int idx = top_ + row;
        bool onEntry = inList && idx < static_cast<int>(entries_.size());
        int place = y > listTop ? (y - listTop - 1) / PlaceH : -1;
        bool onPlace =
            x >= 10 && x < ListLeft - 10 && place >= 0 && place < static_cast<int>(places_.size());
        switch (msg) {
            case WM_PAINT:
                Paint(d);
                break;
            case WM_MOUSEWHEEL: {
                int delta = static_cast<int16_t>(HIWORD(wParam)) > 0 ? -3 : 3;
                top_ = std::clamp(top_ + delta, 0,
                                  std::max(0, static_cast<int>(entries_.size()) - rows));
                Paint(d);
                break;
            }
            case WM_LBUTTONDOWN:
            case WM_LBUTTONDBLCLK:
                if (onPlace)
                    GoTo(d, places_[place].second);
                else if (onEntry && msg == WM_LBUTTONDOWN)
                    ClickRow(d, idx, (wParam & MK_CONTROL) != 0);
                else if (onEntry)
                    OpenRow(d, idx);
                break;
            case WM_LBUTTONUP:
                ReleaseAt(d, x, y, lParam);
                break;
            case WM_KEYDOWN:
                if (wParam == VK_ESCAPE) done_ = 2;
                if (wParam == VK_RETURN) Accept();
                if (wParam == VK_BACK) GoUp(d);
                break;
            case WM_CLOSE:
                done_ = 2;
                break;
            default:
                break;
        }
    }

    const FileDialogRequest& rq_;
    std::vector<std::string>* chosen_;
    std::vector<std::pair<std::string, std::string>> filters_;
    std::vector<std::pair<std::string, std::string>> places_;
    size_t filterIndex_ = 0;
    std::string folder_;
    std::vector<Entry> entries_;
    std::vector<bool> selected_;
    int top_ = 0, anchor_ = -1;
    bool listActive_ = false;  // the last pick was in the list, not typed
    int done_ = 0;             // 1 ok, 2 cancel
    HWND dialog_ = nullptr;
    HWND nameField_ = nullptr;
    HFONT font_ = nullptr;
    Button up_{{10, 4, ListLeft - 10, 24}, "Up", 3};
    Button ok_{{W - 170, H - 34, W - 95, H - 10}, rq_.save ? "Save" : "Open", 1};
    Button cancel_{{W - 85, H - 34, W - 10, H - 10}, "Cancel", 2};
    Rect filterBox_{ListLeft, H - 64, W - 180, H - 44};
};

// Runs the layer's dialog; `typeExtension` receives the extension of the type chosen last.
bool RunOwnFileDialog(const FileDialogRequest& rq, std::vector<std::string>* chosen,
                      std::string* typeExtension) {
    FileDialog dialog(rq, chosen);
    bool ok = dialog.Run();
    *typeExtension = dialog.TypeExtension();
    return ok;
}

}  // namespace

bool MatchesPattern(const std::string& name, const std::string& patterns) {
    size_t start = 0;
    for (;;) {
        size_t semi = patterns.find(';', start);
        std::string p =
            patterns.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
        while (!p.empty() && p.front() == ' ') p.erase(p.begin());
        if (p == "*.*" || p == "*") return true;
        if (!p.empty() && Wild(p.c_str(), name.c_str())) return true;
        if (semi == std::string::npos) return false;
        start = semi + 1;
    }
}

std::string PatternExtension(const std::string& patterns) {
    std::string first = patterns.substr(0, patterns.find(';'));
    while (!first.empty() && first.front() == ' ') first.erase(first.begin());
    while (!first.empty() && first.back() == ' ') first.pop_back();
    if (first.size() < 3 || first.compare(0, 2, "*.") != 0) return std::string();
    std::string ext = first.substr(1);
    if (ext.find_first_of("*?") != std::string::npos) return std::string();
    return ext;
}

std::string NameForType(const std::string& name, const std::string& oldPatterns,
                        const std::string& newPatterns) {
    std::string oldExt = PatternExtension(oldPatterns), newExt = PatternExtension(newPatterns);
    if (oldExt.empty() || newExt.empty() || name.size() <= oldExt.size()) return name;
    std::string tail = name.substr(name.size() - oldExt.size());
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string want = oldExt;
    for (char& c : want) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (tail != want) return name;
    return name.substr(0, name.size() - oldExt.size()) + newExt;
}

std::vector<std::pair<std::string, std::string>> ParseUserDirs(const std::string& text,
                                                               const std::string& home) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const std::string& raw : SplitLines(text)) {
        std::string line = raw;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.erase(0, 1);
        // XDG_<KEY>_DIR="<path>", the path either absolute or starting with $HOME.
        if (line.compare(0, 4, "XDG_") != 0) continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos || eq < 9 || line.compare(eq - 4, 4, "_DIR") != 0) continue;
        std::string key = line.substr(4, eq - 8);
        std::string value = line.substr(eq + 1);
        if (value.size() < 2 || value.front() != '"') continue;
        // The quoted text, with the shell's escapes undone; a line without its closing quote
        // is left out.
        std::string path;
        bool closed = false;
        for (size_t i = 1; i < value.size() && !closed; ++i) {
            if (value[i] == '\\' && i + 1 < value.size())
                path += value[++i];
            else if (value[i] == '"')
                closed = true;
            else
                path += value[i];
        }
        if (!closed) continue;
        if (path.compare(0, 5, "$HOME") == 0 && (path.size() == 5 || path[5] == '/'))
            path = home + path.substr(5);
        else if (path.empty() || path[0] != '/')
            continue;
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        out.emplace_back(key, path);
    }
    return out;
}

std::string RunFileDialog(const FileDialogRequest& rq) {
    std::vector<std::string> chosen;
    std::string typeExtension;
    bool ok = false;
    if (!TheBackend().AnswerFileDialog(rq, &chosen, &ok))
        ok = RunOwnFileDialog(rq, &chosen, &typeExtension);
    if (!ok || chosen.empty()) return std::string();
    if (rq.save) {
        std::string path = chosen[0];
        // A name without an extension takes the chosen type's, else the default one.
        std::string ext = typeExtension.empty() ? rq.defaultExtension : typeExtension;
        if (!ext.empty() && ext[0] != '.') ext = "." + ext;
        std::string name = NameOf(path);
        if (!ext.empty() && name.find('.') == std::string::npos) path += ext;
        if (rq.overwritePrompt && Exists(path)) {
            std::string q = NameOf(path) + " already exists.\nDo you want to replace it?";
            if (MessageBox(rq.owner, q, rq.title.empty() ? "Save As" : rq.title,
                           MB_YESNO | MB_ICONWARNING) != IDYES)
                return std::string();
        }
        return path;
    }
    if (!rq.multiple || chosen.size() == 1) return chosen[0];
    // Several files: the folder, then the names, NUL-separated, ending with two NULs.
    std::string folder = FolderOf(chosen[0]);
    std::string out = folder;
    out += '\0';
    for (const std::string& p : chosen) {
        out += NameOf(p);
        out += '\0';
    }
    out += '\0';
    return out;
}

}  // namespace kv
