// Entry of every test program: a private public folder per run, so tests never touch the
// user's settings or exchange file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/document/show_file.h"
#include "core/render/show_loading.h"

int main(int argc, char** argv) {
    std::string dir = "/tmp/kvtest-" + std::to_string(getpid()) + "-XXXXXX";
    if (char* made = mkdtemp(dir.data())) setenv("KINEVISTA_PUBLIC", made, 1);
    kv::SetShowLoadSteps(kv::RenderingShowLoadSteps());
    ::testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    std::string cmd = "rm -rf '" + dir + "'";
    if (std::system(cmd.c_str()) != 0) return rc ? rc : 0;
    return rc;
}
