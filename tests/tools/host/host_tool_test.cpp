// kinevista-host as people and scripts use it: install, catalogue, render and edit, with fault
// injection from the command line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "core/base/records.h"
#include "core/document/show_file.h"
#include "core/picture/cdib.h"
#include "core/render/render_frame.h"
#include "core/show/show.h"
#include "platform/os/public_folder.h"
#include "platform/os/registry.h"
#include "tests/test_support.h"

namespace {

const std::string Host = std::string(KV_BIN_DIR) + "/kinevista-host";
const std::string Cli = std::string(KV_BIN_DIR) + "/kinevista-cli";
const std::string PluginPath = KV_PLUGIN_PATH;

struct HostToolTest : ::testing::Test {
    std::string dir;
    std::string showPath;
    void SetUp() override {
        setenv("KINEVISTA_WINDOW_LIST", kvtest::TempDir("windows").c_str(), 1);
        kvtest::WriteFileBytes(kv::PublicPath("Kinevista.ini"), "[Kinevista]\r\n");
        dir = kvtest::TempDir("host");
        // A picture and a show over it, written as a show file.
        kv::CDIB picture(80, 60, 24);
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 80; ++x) {
                uint8_t* p = picture.Row(y) + 3 * x;
                p[0] = static_cast<uint8_t>(x * 3);
                p[1] = static_cast<uint8_t>(y * 4);
                p[2] = static_cast<uint8_t>(x ^ y);
            }
        kv::FileSpec fileSpec;
        fileSpec.SetPath((dir + "/pic.bmp").c_str());
        ASSERT_TRUE(picture.Save(fileSpec, kv::FormatBmp));
        kv::Show show;
        show.Reset();
        show.pictures[0].fileSpec = fileSpec;
        show.pictureCount = 1;
        show.pictures[0].keyCount = 2;
        show.pictures[0].keys[0] = kv::KeyFrame{};
        show.pictures[0].keys[0].x = 40;
        show.pictures[0].keys[0].y = 30;
        show.pictures[0].keys[0].width = 70;
        show.pictures[0].keys[1] = show.pictures[0].keys[0];
        show.pictures[0].keys[1].x = 25;
        show.pictures[0].keys[1].width = 30;
        show.pictures[0].keys[1].time = 90;
        showPath = dir + "/show.kvx";
        ASSERT_TRUE(kv::SaveShow(show, showPath));
    }
};

}  // namespace

TEST_F(HostToolTest, CatalogueListsEveryDefinitionCall) {
    std::string out;
    ASSERT_EQ(kvtest::Run(Host + " catalogue " + PluginPath + " 2>/dev/null", &out), 0);
    EXPECT_NE(out.find("plugin.InitializePlugin {A78398EB-D921-42A8-9137-4B336695A206} 0 0 "
                       "\"Kinevista.avx\""),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("mapping.SetMapping \"EFF_AVX_Fernquill_Kinevista_$\""), std::string::npos);
    EXPECT_NE(out.find("ACFRegisterComponent 2 -> 0x00000000"), std::string::npos);
    ASSERT_EQ(
        kvtest::Run(Host + " catalogue " + PluginPath + " --refuse-conform 2>/dev/null", &out), 0);
    EXPECT_NE(out.find("ACFRegisterComponent 2 -> 0x00000000 (no definition)"), std::string::npos);
    EXPECT_EQ(kvtest::Run(Host + " catalogue /nonexistent.avx 2>/dev/null"), 2);
}

TEST_F(HostToolTest, RenderMatchesTheCommandLineRenderer) {
    const std::string hostOut = dir + "/host.tga";
    ASSERT_EQ(kvtest::Run(Host + " render " + PluginPath + " --data " + showPath +
                          " --frame 45 --size 64x48 --out " + hostOut + " 2>/dev/null"),
              0);
    const std::string hostBytes = kvtest::ReadFileBytes(hostOut);
    ASSERT_GT(hostBytes.size(), 64u * 48 * 4);

    // The same frame straight from the core, bottom row first as a Targa file stores it.
    kv::Show show;
    ASSERT_TRUE(kv::LoadShow(show, showPath, false));
    kv::CDIB frame(64, 48, 32);
    ASSERT_TRUE(kv::RenderFrame(show, 45, 0, true, 64, 48, &frame, false));
    kv::FileSpec fileSpec;
    const std::string direct = dir + "/direct.tga";
    fileSpec.SetPath(direct.c_str());
    ASSERT_TRUE(frame.Save(fileSpec, kv::FormatTarga));
    EXPECT_EQ(hostBytes, kvtest::ReadFileBytes(direct));

    ASSERT_EQ(access(Cli.c_str(), X_OK), 0) << "kinevista-cli is not built: " << Cli;
    const std::string cliOut = dir + "/cli.tga";
    std::string text;
    const int rc = kvtest::Run(
        Cli + " render " + showPath + " --frame 45 --size 64x48 --out " + cliOut + " 2>&1", &text);
    ASSERT_EQ(rc, 0) << text;
    EXPECT_EQ(hostBytes, kvtest::ReadFileBytes(cliOut));
}

TEST_F(HostToolTest, APictureThatCannotBeLoadedIsToldAndFailsUnlessAllowed) {
    const std::string errFile = dir + "/err.txt";
    const auto render = [&](const std::string& show, const std::string& extra, std::string& err) {
        std::remove((dir + "/p.tga").c_str());
        const int rc = kvtest::Run(Host + " render " + PluginPath + " --data " + show +
                                   " --frame 10 --size 48x36 --out " + dir + "/p.tga" + extra +
                                   " 2>" + errFile);
        err = kvtest::ReadFileBytes(errFile);
        return rc;
    };
    const auto count = [](const std::string& text, const std::string& part) {
        size_t n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++n;
        return n;
    };
    // The show with its picture in place renders with no warning.
    std::string err;
    ASSERT_EQ(render(showPath, "", err), 0) << err;
    EXPECT_EQ(err.find("warning"), std::string::npos) << err;
    const std::string good = kvtest::ReadFileBytes(dir + "/p.tga");

    // The picture moved away: named once, the placeholder written, exit 1.
    kv::Show gone;
    ASSERT_TRUE(kv::LoadShow(gone, showPath, false));
    gone.pictures[0].fileSpec.SetPath("/no/such/folder/gone.bmp");
    const std::string gonePath = dir + "/gone.kvx";
    ASSERT_TRUE(kv::SaveShow(gone, gonePath));
    const std::string warning =
        "kinevista-host: warning: the picture /no/such/folder/gone.bmp of " + gonePath +
        " cannot be loaded; the frame is the placeholder";
    EXPECT_EQ(render(gonePath, "", err), 1) << err;
    EXPECT_EQ(count(err, warning), 1u) << err;
    EXPECT_NE(err.find("(--allow-placeholder accepts it)"), std::string::npos) << err;
    const std::string placeholder = kvtest::ReadFileBytes(dir + "/p.tga");
    EXPECT_GT(placeholder.size(), 48u * 36 * 4);
    EXPECT_NE(placeholder, good);
    // Allowed: the same warning and frame, exit 0.
    EXPECT_EQ(render(gonePath, " --allow-placeholder", err), 0) << err;
    EXPECT_EQ(count(err, warning), 1u) << err;
    EXPECT_EQ(err.find("accepts it"), std::string::npos) << err;
    EXPECT_EQ(kvtest::ReadFileBytes(dir + "/p.tga"), placeholder);

    // A picture file that is there but is no picture is the same fault.
    kvtest::WriteFileBytes(dir + "/pic.bmp", "not a picture");
    EXPECT_EQ(render(showPath, "", err), 1) << err;
    EXPECT_EQ(count(err, "kinevista-host: warning: the picture " + dir + "/pic.bmp of " + showPath +
                             " cannot be loaded"),
              1u)
        << err;

    // The usage text tells of the switch.
    std::string usage;
    EXPECT_EQ(kvtest::Run(Host + " 2>&1", &usage), 2);
    EXPECT_NE(usage.find("[--allow-placeholder]"), std::string::npos) << usage;
    EXPECT_NE(usage.find("exit status is 1"), std::string::npos) << usage;
}

TEST_F(HostToolTest, PluginExportsOnlyItsFourEntries) {
    std::string out;
    ASSERT_EQ(
        kvtest::Run("nm -D --defined-only " + PluginPath + " | awk '{print $3}' | sort", &out), 0);
    EXPECT_EQ(out,
              "ACFCanUnloadNow\nACFGetClassFactory\nACFRegisterComponent\nACFRegisterPlugin\n");
}

TEST_F(HostToolTest, RenderOverAnInputPicture) {
    kvtest::WriteFileBytes(kv::PublicPath("Kinevista.ini"), "[Kinevista]\r\nIgnoreAlpha=0\r\n");
    kv::CDIB input(32, 24, 32);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x) {
            uint8_t* p = input.Row(y) + 4 * x;
            p[0] = 10;
            p[1] = 200;
            p[2] = static_cast<uint8_t>(y * 10);
            p[3] = 255;
        }
    kv::FileSpec fileSpec;
    fileSpec.SetPath((dir + "/in.tga").c_str());
    ASSERT_TRUE(input.Save(fileSpec, kv::FormatTarga));
    const std::string out = dir + "/over.tga";
    ASSERT_EQ(kvtest::Run(Host + " render " + PluginPath + " --data " + showPath +
                          " --frame 3 --size 32x24 --input " + dir + "/in.tga --out " + out +
                          " 2>/dev/null"),
              0);
    kv::CDIB result(8, 8, 24);
    fileSpec.SetPath(out.c_str());
    ASSERT_EQ(result.Load(fileSpec, kv::FileSpec{}, false), 1);
    ASSERT_EQ(result.BitCount(), 32);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x) ASSERT_EQ(result.Row(y)[4 * x + 3], 128) << x << "," << y;
    // A picture of the wrong size is refused before the plug-in is asked.
    EXPECT_EQ(kvtest::Run(Host + " render " + PluginPath + " --data " + showPath +
                          " --frame 3 --size 40x24 --input " + dir + "/in.tga --out " + out +
                          " 2>/dev/null"),
              2);
}

TEST_F(HostToolTest, InjectedFailuresEndWithAResultAndNoLeak) {
    std::string err;
    const std::string base = Host + " render " + PluginPath + " --data " + showPath +
                             " --frame 1 --size 32x24 --out " + dir + "/f.tga";
    for (int n = 1; n <= 9; ++n) {
        const int rc = kvtest::Run(base + " --fail-call " + std::to_string(n) + " 2>&1", &err);
        EXPECT_EQ(rc, 1) << err;  // the plug-in reported the failure; 3 would be a leak
        EXPECT_NE(err.find("injected failure in "), std::string::npos) << err;
        EXPECT_NE(err.find("render returned 0x8004FA17"), std::string::npos) << err;
    }
    EXPECT_EQ(kvtest::Run(base + " --fail parameter.GetValue 2>&1", &err), 1);
    EXPECT_NE(err.find("injected failure in parameter.GetValue"), std::string::npos) << err;
}

TEST_F(HostToolTest, InstallAndEditRoundTrip) {
    ASSERT_FALSE(std::string(KV_FAKE_EDITOR).empty()) << "no stand-in editor built";
    const std::string editorDir = dir + "/editor";
    ASSERT_EQ(kvtest::Run("mkdir -p " + editorDir + " && ln -s " + KV_FAKE_EDITOR + " " +
                          editorDir + "/kinevista"),
              0);
    ASSERT_EQ(kvtest::Run(Host + " install " + editorDir + " >/dev/null"), 0);
    std::string folder;
    ASSERT_TRUE(kv::ReadRegistryValue(kv::PluginRegistryKey, kv::EditorFolderValue, &folder));
    EXPECT_EQ(folder.substr(folder.size() - 7), "/editor");

    const std::string args = dir + "/args";
    const std::string out = dir + "/new.kvx";
    ASSERT_EQ(kvtest::Run("KV_FAKE_EDITOR_LOG=" + args + " KV_FAKE_EDITOR_MODE=quit " + Host +
                          " edit " + PluginPath + " --data " + showPath +
                          " --rate 29.97 --length 300 --out " + out + " 2>/dev/null"),
              0);
    EXPECT_EQ(kvtest::ReadFileBytes(args), "?2997,300\n");
    std::string handedOut = kvtest::ReadFileBytes(showPath);
    handedOut.resize(4096, '\0');
    EXPECT_EQ(kvtest::ReadFileBytes(out), handedOut) << "Quit leaves PrivateData unchanged";

    const std::string applied = dir + "/applied.kvx";
    kvtest::WriteFileBytes(applied, std::string(4096, 'Z'));
    ASSERT_EQ(kvtest::Run("KV_FAKE_EDITOR_MODE=apply KV_FAKE_EDITOR_APPLY=" + applied + " " + Host +
                          " edit " + PluginPath + " --data " + showPath +
                          " --rate 25 --length 250 --out " + out + " 2>/dev/null"),
              0);
    EXPECT_EQ(kvtest::ReadFileBytes(out), std::string(4096, 'Z'));
}

// An installed tree has no registry file: the plug-in in <prefix>/lib/kinevista starts the editor
// in <prefix>/bin, and the host names that editor; a registry value, once written, still wins.
TEST_F(HostToolTest, InstalledPluginStartsTheEditorBesideIt) {
    ASSERT_FALSE(std::string(KV_FAKE_EDITOR).empty()) << "no stand-in editor built";
    const std::string prefix = dir + "/prefix";
    const std::string plugin = prefix + "/lib/kinevista/Kinevista.avx";
    ASSERT_EQ(kvtest::Run("mkdir -p " + prefix + "/lib/kinevista " + prefix + "/bin && cp " +
                          PluginPath + " " + plugin),
              0);
    std::remove(kv::RegistryFile().c_str());

    const std::string args = dir + "/args";
    const std::string out = dir + "/new.kvx";
    const std::string edit = "KV_FAKE_EDITOR_LOG=" + args + " KV_FAKE_EDITOR_MODE=quit " + Host +
                             " edit " + plugin + " --data " + showPath +
                             " --rate 25 --length 250 --out " + out + " 2>/dev/null";
    // No editor installed yet: the run ends at once and starts nothing.
    ASSERT_EQ(kvtest::Run(edit), 0);
    EXPECT_NE(access(args.c_str(), F_OK), 0) << "an editor ran although none is installed";
    std::string err;
    ASSERT_EQ(kvtest::Run(Host + " catalogue " + plugin + " 2>&1 >/dev/null", &err), 0);
    EXPECT_NE(err.find("kinevista-host: editor " + prefix + "/bin/kinevista (missing)"),
              std::string::npos)
        << err;

    ASSERT_EQ(kvtest::Run("ln -s " + std::string(KV_FAKE_EDITOR) + " " + prefix + "/bin/kinevista"),
              0);
    ASSERT_EQ(kvtest::Run(edit), 0);
    EXPECT_EQ(kvtest::ReadFileBytes(args), "?2500,250\n");
    ASSERT_EQ(kvtest::Run(Host + " catalogue " + plugin + " 2>&1 >/dev/null", &err), 0);
    EXPECT_NE(err.find("kinevista-host: editor " + prefix + "/bin/kinevista\n"), std::string::npos)
        << err;

    // A registry value naming a folder without an editor: that folder is tried, not the tree's.
    const std::string elsewhere = dir + "/elsewhere";
    ASSERT_EQ(kvtest::Run("mkdir -p " + elsewhere + " && " + Host + " install " + elsewhere +
                          " >/dev/null"),
              0);
    std::remove(args.c_str());
    ASSERT_EQ(kvtest::Run(edit), 0);
    EXPECT_NE(access(args.c_str(), F_OK), 0) << "the registry's folder was passed over";
}
