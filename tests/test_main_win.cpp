// Entry of every Windows test program: a private public folder per run under the system's
// temporary folder, so tests never touch the user's settings or exchange file.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "core/document/show_file.h"
#include "core/render/show_loading.h"
#include "test_support.h"

int main(int argc, char** argv) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(temp) + L"kvtest-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir.c_str(), nullptr);
    SetEnvironmentVariableW(L"KINEVISTA_PUBLIC", dir.c_str());
    _wputenv_s(L"KINEVISTA_PUBLIC", dir.c_str());
    kv::SetShowLoadSteps(kv::RenderingShowLoadSteps());
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    kvtest::RemoveTree(kvtest::Narrow(dir));
    return rc;
}
