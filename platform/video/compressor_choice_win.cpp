// The compressor-choice dialog over ICCompressorChoose (vfw32).
#include <windows.h>
// windows.h first: vfw.h needs its types.
#include <vfw.h>

#include "platform/video/compressor_choice.h"

namespace kv {

bool HaveCompressorDialog() {
    return true;
}

bool ChooseCompressor(void* ownerWindow, const std::string& title, CompressorChoice& choice) {
    COMPVARS vars{};
    vars.cbSize = sizeof vars;
    vars.dwFlags = ICMF_COMPVARS_VALID;
    vars.fccType = ICTYPE_VIDEO;
    char c[4] = {' ', ' ', ' ', ' '};
    for (size_t i = 0; i < 4 && i < choice.code.size(); ++i) c[i] = choice.code[i];
    vars.fccHandler =
        choice.code.empty() ? mmioFOURCC('D', 'I', 'B', ' ') : mmioFOURCC(c[0], c[1], c[2], c[3]);
    vars.lQ = choice.quality < 0 ? 0 : choice.quality > 100 ? 10000 : choice.quality * 100;
    // The dialog takes its title in the system's ANSI code page.
    const int n = MultiByteToWideChar(CP_UTF8, 0, title.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, title.c_str(), -1, wide.data(), n);
    const int a = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<size_t>(a > 0 ? a : 1), '\0');
    if (a > 0) WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi.data(), a, nullptr, nullptr);
    const BOOL chosen = ICCompressorChoose(static_cast<HWND>(ownerWindow),
                                           ICMF_CHOOSE_DATARATE | ICMF_CHOOSE_KEYFRAME, nullptr,
                                           nullptr, &vars, ansi.data());
    if (!chosen) return false;
    const DWORD handler = vars.fccHandler;
    if (handler == 0 || handler == mmioFOURCC('D', 'I', 'B', ' ') ||
        handler == mmioFOURCC('d', 'i', 'b', ' ')) {
        choice.code.clear();
    } else {
        choice.code.assign(4, ' ');
        for (int i = 0; i < 4; ++i)
            choice.code[static_cast<size_t>(i)] = static_cast<char>((handler >> (8 * i)) & 0xFF);
    }
    choice.quality =
        vars.lQ == ICQUALITY_DEFAULT ? choice.quality : static_cast<int32_t>(vars.lQ / 100);
    ICCompressorFree(&vars);
    return true;
}

}  // namespace kv
