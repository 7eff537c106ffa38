// The layer's own modal windows: message boxes, the open/save file dialog and the text-entry
// dialog.
//
// Each dialog is a topmost popup with a local message loop: paint and timer messages of every
// window are dispatched, input to other windows is dropped while the dialog is open, and a quit
// message ends the dialog as a cancel and is posted again for the outer loop. The headless
// backend may answer message boxes and file dialogs from a script before any window is made.
#include <unistd.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>

#include "platform/win/internal.h"

namespace kv {

// --- Shared dialog machinery ---------------------------------------------------------------------
namespace {

using DialogHandler = std::function<void(HWND, uint32_t, uint64_t, int64_t)>;

// Gives the keyboard back to the window that had it when a dialog closes.
class FocusKeeper {
public:
    FocusKeeper() : m_focus(GetFocus()) {}
    ~FocusKeeper() {
        if (IsWindow(m_focus)) SetFocus(m_focus);
    }

private:
    HWND m_focus;
};

int64_t DialogProc(HWND hwnd, uint32_t msg, uint64_t wParam, int64_t lParam) {
    if (auto* h = static_cast<DialogHandler*>(GetWindowUserData(hwnd)))
        (*h)(hwnd, msg, wParam, lParam);
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

HWND MakeDialog(HWND owner, const std::string& title, int clientW, int clientH,
                DialogHandler* handler) {
    // The dialog class is registered once for the process, on the first dialog.
    static bool registered = false;
    if (!registered) registered = RegisterClass("#dialog", DialogProc, CS_DBLCLKS, 0, 0);
    int w = clientW + 2, h = clientH + 22;
    RECT area = GetWorkArea();
    RECT ownerRect;
    int cx = (area.left + area.right) / 2, cy = (area.top + area.bottom) / 2;
    if (owner && GetWindowRect(owner, &ownerRect) && !(GetWindowStyle(owner) & WS_CHILD)) {
        cx = (ownerRect.left + ownerRect.right) / 2;
        cy = (ownerRect.top + ownerRect.bottom) / 2;
    }
    HWND d = CreateWindowEx(WS_EX_TOPMOST, "#dialog", title, WS_POPUP | WS_CAPTION | WS_BORDER,
                            cx - w / 2, cy - h / 2, w, h, owner, 0);
    if (!d) return nullptr;
    SetWindowUserData(d, handler);
    ShowWindow(d, SW_SHOW);
    return d;
}

bool IsInput(uint32_t m) {
    return (m >= WM_KEYDOWN && m <= WM_SYSKEYUP) || (m >= WM_MOUSEMOVE && m <= WM_XBUTTONUP);
}

bool BelongsTo(HWND w, HWND dialog) {
    for (HWND h = w; h; h = (GetWindowStyle(h) & WS_CHILD) ? GetParent(h) : nullptr)
        if (h == dialog) return true;
    return false;
}

// Runs the modal loop until done() is true; false when a quit message arrived.
bool ModalLoop(HWND dialog, const std::function<bool()>& done,
               const std::function<bool(const MSG&)>& filter = nullptr) {
    MSG m;
    while (!done()) {
        if (!GetMessage(&m)) {
            PostQuitMessage(static_cast<int>(m.wParam));
            return false;
        }
        if (!IsWindow(dialog)) return false;
        if (filter && filter(m)) continue;
        if (IsInput(m.message) && !BelongsTo(m.hwnd, dialog)) continue;
        TranslateMessage(&m);
        DispatchMessage(&m);
    }
    return true;
}

struct Button {
    Rect r;
    std::string label;
    int result;
};

// The dialog's device context with its client area cleared to the dialog grey.
HDC BeginDialogPaint(HWND d) {
    return GetClearedDC(d, RGB(240, 240, 240));
}

void DrawButton(HDC dc, const Button& b, bool isDefault) {
    HBRUSH face = CreateSolidBrush(RGB(225, 225, 225));
    FillRect(dc, &b.r, face);
    DeleteObject(face);
    HPEN pen = CreatePen(PS_SOLID, isDefault ? 2 : 1, RGB(0, 0, 0));
    HGDIOBJ op = SelectObject(dc, pen);
    HGDIOBJ ob = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, b.r.left, b.r.top, b.r.right, b.r.bottom);
    SelectObject(dc, op);
    SelectObject(dc, ob);
    DeleteObject(pen);
    SetTextAlign(dc, TA_CENTER);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOut(dc, (b.r.left + b.r.right) / 2, b.r.top + 4, b.label);
    SetTextAlign(dc, TA_LEFT);
}

// The keyboard's mark on the focused button: a dotted rectangle just inside its border.
void DrawFocusMark(HDC dc, const Rect& r) {
    const Rect in{r.left + 3, r.top + 3, r.right - 4, r.bottom - 4};
    const COLORREF ink = RGB(0, 0, 0);
    for (int x = in.left; x <= in.right; x += 2) {
        SetPixel(dc, x, in.top, ink);
        SetPixel(dc, x, in.bottom, ink);
    }
    for (int y = in.top; y <= in.bottom; y += 2) {
        SetPixel(dc, in.left, y, ink);
        SetPixel(dc, in.right, y, ink);
    }
}

// The next control for Tab (forward) or Shift+Tab, wrapping round.
int NextFocus(int focus, int count, bool forward) {
    return count > 0 ? (focus + (forward ? 1 : count - 1)) % count : 0;
}

bool HitButton(const Button& b, int64_t lParam) {
    int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    return x >= b.r.left && x < b.r.right && y >= b.r.top && y < b.r.bottom;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t nl = text.find('\n', start);
        std::string line =
            text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    return lines;
}

}  // namespace

// --- Message boxes -------------------------------------------------------------------------------
namespace {
// Beeps so far, counted for tests that check a refusal was heard; the UI thread's alone.
int g_beeps = 0;
}  // namespace

// Without a display the terminal bell stands for the system sound, when there is a terminal.
void Backend::Bell() {
    if (::isatty(2)) {
        const char bell = '\a';
        if (::write(2, &bell, 1) < 0) return;
    }
}

void MessageBeep(uint32_t) {
    ++g_beeps;
    TheBackend().Bell();
}

int MessageBeepCount() {
    return g_beeps;
}

int MessageBox(HWND owner, const std::string& text, const std::string& caption, uint32_t type) {
    int answer = 0;
    if (TheBackend().AnswerMessageBox(text, caption, type, &answer)) return answer;
    uint32_t kind = type & 0xF;
    std::vector<Button> buttons;
    if (kind == MB_YESNO || kind == MB_YESNOCANCEL) {
        buttons.push_back({{}, "Yes", IDYES});
        buttons.push_back({{}, "No", IDNO});
        if (kind == MB_YESNOCANCEL) buttons.push_back({{}, "Cancel", IDCANCEL});
    } else {
        buttons.push_back({{}, "OK", IDOK});
    }
    std::vector<std::string> lines = SplitLines(text);
    HDC probe = CreateCompatibleDC(nullptr);
    HFONT font = CreateFont(-13, FW_NORMAL, false, false, FF_SWISS, "Arial");
    SelectObject(probe, font);
    int textW = 0;
    for (const auto& l : lines) {
        SIZE sz;
        GetTextExtentPoint32(probe, l, &sz);
        textW = std::max(textW, sz.cx);
    }
    DeleteDC(probe);
    int buttonsW = static_cast<int>(buttons.size()) * 85;
    int w = std::max({textW + 40, buttonsW + 20, 200});
    int h = 20 + static_cast<int>(lines.size()) * 17 + 20 + 26 + 12;
    int bx = (w - buttonsW) / 2 + 5;
    for (auto& b : buttons) {
        b.r = Rect{bx, h - 38, bx + 75, h - 14};
        bx += 85;
    }
    int result = 0;
    // The focused button: the first at the start; Tab, Shift+Tab and the arrows move it, Enter
    // and Space press it. It carries the default's heavy border and the focus mark.
    const int count = static_cast<int>(buttons.size());
    int focus = 0;
    DialogHandler handler = [&](HWND d, uint32_t msg, uint64_t wParam, int64_t lParam) {
        if (msg == WM_PAINT) {
            HDC dc = BeginDialogPaint(d);
            HGDIOBJ of = SelectObject(dc, font);
            SetBkMode(dc, TRANSPARENT);
            for (size_t i = 0; i < lines.size(); ++i)
                TextOut(dc, 20, 20 + static_cast<int>(i) * 17, lines[i]);
            for (int i = 0; i < count; ++i) DrawButton(dc, buttons[i], i == focus);
            DrawFocusMark(dc, buttons[focus].r);
            SelectObject(dc, of);
            ReleaseDC(d, dc);
        } else if (msg == WM_LBUTTONUP) {
            for (const auto& b : buttons)
                if (HitButton(b, lParam)) result = b.result;
        } else if (msg == WM_KEYDOWN) {
            const bool shift = (lParam & KeyDownWithShift) != 0;
            if (wParam == VK_RETURN || wParam == VK_SPACE) result = buttons[focus].result;
            // Escape answers Cancel or OK; a Yes/No box has no way out but an answer (No may
            // throw work away), so there it does nothing, as the system's boxes do.
            if (wParam == VK_ESCAPE)
                result = kind == MB_YESNOCANCEL ? IDCANCEL : kind == MB_OK ? IDOK : 0;
            const int before = focus;
            if (wParam == VK_TAB) focus = NextFocus(focus, count, !shift);
            if (wParam == VK_RIGHT || wParam == VK_DOWN) focus = NextFocus(focus, count, true);
            if (wParam == VK_LEFT || wParam == VK_UP) focus = NextFocus(focus, count, false);
            if (focus != before && !result) {
                InvalidateRect(d, nullptr, true);
                UpdateWindow(d);
            }
        } else if (msg == WM_CHAR) {
            int ch = std::tolower(static_cast<int>(wParam));
            if (ch == 'y' && buttons.size() > 1) result = IDYES;
            if (ch == 'n' && buttons.size() > 1) result = IDNO;
        } else if (msg == WM_CLOSE) {
            result = kind == MB_YESNO ? IDNO : kind == MB_YESNOCANCEL ? IDCANCEL : IDOK;
        }
    };
    FocusKeeper keep;
    HWND d = MakeDialog(owner, caption, w, h, &handler);
    if (!d) {
        DeleteObject(font);
        return kind == MB_OK ? IDOK : IDCANCEL;
    }
    SetFocus(d);
    UpdateWindow(d);
    if (!ModalLoop(d, [&] { return result != 0; }))
        result = kind == MB_YESNO ? IDNO : kind == MB_YESNOCANCEL ? IDCANCEL : IDOK;
    SetWindowUserData(d, nullptr);
    DestroyWindow(d);
    DeleteObject(font);
    return result;
}

// --- File dialogs --------------------------------------------------------------------------------
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

// --- Text entry ---------------------------------------------------------------------------------
void RunTextEntryDialog(HWND owner, const std::string& title, const std::string& line1,
                        const std::string& line2, std::string& text, int maxChars) {
    // 186 x 95 dialog units of an 8-point dialog font.
    const int W = 279, H = 154;
    Button ok{{238, 120, 274, 143}, "OK", 1};
    HFONT font = CreateFont(-11, FW_NORMAL, false, false, FF_SWISS, "Arial");
    int done = 0;
    HWND edit = nullptr;
    bool okFocused = false;  // Tab moves the keyboard between the field and OK
    DialogHandler handler = [&](HWND d, uint32_t msg, uint64_t wParam, int64_t lParam) {
        if (msg == WM_PAINT) {
            HDC dc = BeginDialogPaint(d);
            HGDIOBJ of = SelectObject(dc, font);
            SetBkMode(dc, TRANSPARENT);
            TextOut(dc, 10, 11, line1);
            TextOut(dc, 10, 28, line2);
            DrawButton(dc, ok, true);
            if (okFocused) DrawFocusMark(dc, ok.r);
            SelectObject(dc, of);
            ReleaseDC(d, dc);
        } else if (msg == WM_LBUTTONUP && HitButton(ok, lParam)) {
            done = 1;
        } else if (msg == WM_KEYDOWN && (wParam == VK_RETURN || wParam == VK_ESCAPE)) {
            done = wParam == VK_RETURN ? 1 : 2;
        } else if (msg == WM_CLOSE) {
            done = 2;
        }
    };
    FocusKeeper keep;
    HWND d = MakeDialog(owner, title, W, H, &handler);
    if (!d) {
        DeleteObject(font);
        return;
    }
    edit = CreateWindowEx(0, "edit", "", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 10, 67,
                          258, 23, d, 1003);
    if (edit) {
        SendMessage(edit, WM_SETFONT, reinterpret_cast<uint64_t>(font), 0);
        if (!text.empty())
            SendMessage(edit, WM_SETTEXT, 0, reinterpret_cast<int64_t>(text.c_str()));
        SendMessage(edit, EM_SETSEL, 0, -1);
        SetFocus(edit);
    }
    ModalLoop(
        d, [&] { return done != 0; },
        [&](const MSG& m) {
            if (m.message != WM_KEYDOWN || !BelongsTo(m.hwnd, d)) return false;
            if (m.wParam == VK_RETURN || m.wParam == VK_ESCAPE ||
                (okFocused && m.wParam == VK_SPACE)) {
                handler(d, WM_KEYDOWN, m.wParam == VK_ESCAPE ? VK_ESCAPE : VK_RETURN, m.lParam);
                return true;
            }
            if (m.wParam == VK_TAB && edit) {
                okFocused = !okFocused;
                SetFocus(okFocused ? d : edit);
                InvalidateRect(d, nullptr, true);
                UpdateWindow(d);
                return true;
            }
            return false;
        });
    // OK and Cancel both hand back the field's text.
    if (edit) {
        std::vector<char> buf(static_cast<size_t>(std::max(1, maxChars + 1)));
        SendMessage(edit, WM_GETTEXT, buf.size(), reinterpret_cast<int64_t>(buf.data()));
        text = buf.data();
    }
    SetWindowUserData(d, nullptr);
    DestroyWindow(d);
    DeleteObject(font);
}

}  // namespace kv
