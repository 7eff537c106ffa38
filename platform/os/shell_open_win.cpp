// ShellOpen over ShellExecuteW and the "open" verb.
#include <windows.h>
// windows.h first: the shell header needs its types.
#include <shellapi.h>

#include "platform/os/shell_open.h"
#include "platform/os/win_text.h"

namespace kv {

// The shell always has an answer for a document: a program, or its own "Open with" question.
bool DesktopCanOpen() {
    return true;
}

bool ShellOpen(const std::string& document, uintptr_t ownerWindow) {
    if (document.empty()) return false;
    const std::wstring path = os::Widen(document);
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    if (ShellOpenHookFn hook = ShellOpenHook()) return hook(document, ownerWindow);
    // Values above 32 mean success; the rest are error numbers.
    const auto result =
        reinterpret_cast<INT_PTR>(ShellExecuteW(reinterpret_cast<HWND>(ownerWindow), L"open",
                                                path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

}  // namespace kv
