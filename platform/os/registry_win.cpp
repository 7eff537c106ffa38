// The registry on Windows: values under HKEY_LOCAL_MACHINE in the 64-bit view, as the host
// keeps them.
#include <windows.h>

#include "platform/os/registry.h"
#include "platform/os/win_text.h"

namespace kv {

std::string RegistryFile() {
    return "HKEY_LOCAL_MACHINE";
}

bool ReadRegistryValue(const std::string& key, const std::string& name, std::string* out) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, os::Widen(key).c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                      &h) != ERROR_SUCCESS)
        return false;
    // The host's value is wide text of at most 127 characters; a longer one is read whole
    // here, and the caller decides what it takes.
    DWORD type = 0;
    DWORD bytes = 0;
    const std::wstring wname = os::Widen(name);
    LONG r = RegQueryValueExW(h, wname.c_str(), nullptr, &type, nullptr, &bytes);
    std::wstring value;
    if (r == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
        value.resize(bytes / sizeof(wchar_t) + 1);
        DWORD got = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        r = RegQueryValueExW(h, wname.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(value.data()), &got);
        value.resize(got / sizeof(wchar_t));
        // The stored text need not end in a terminator; what follows one is not part of it.
        const size_t nul = value.find(L'\0');
        if (nul != std::wstring::npos) value.resize(nul);
    } else if (r == ERROR_SUCCESS) {
        r = ERROR_INVALID_DATA;  // not text
    }
    RegCloseKey(h);
    if (r != ERROR_SUCCESS) return false;
    if (out) *out = os::Narrow(value);
    return true;
}

bool WriteRegistryValue(const std::string& key, const std::string& name, const std::string& value) {
    if (value.find('\n') != std::string::npos || value.find('\r') != std::string::npos)
        return false;
    HKEY h = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, os::Widen(key).c_str(), 0, nullptr, 0,
                        KEY_WRITE | KEY_WOW64_64KEY, nullptr, &h, nullptr) != ERROR_SUCCESS)
        return false;
    const std::wstring text = os::Widen(value);
    const LONG r = RegSetValueExW(h, os::Widen(name).c_str(), 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(text.c_str()),
                                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegFlushKey(h);
    RegCloseKey(h);
    return r == ERROR_SUCCESS;
}

}  // namespace kv
