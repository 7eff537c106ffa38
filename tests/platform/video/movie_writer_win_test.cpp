// MovieWriter and RuntimeLibrary on Windows: AVI files written through AVIFile and read back
// through AVIFile; libraries loaded by their Windows names.
#include <gtest/gtest.h>
#include <windows.h>
// windows.h first: vfw.h needs its types.
#include <vfw.h>

#include <cstring>
#include <vector>

#include "platform/os/win_text.h"
#include "platform/video/compressor_choice.h"
#include "platform/video/movie_writer.h"
#include "platform/video/runtime_library.h"
#include "tests/test_support.h"

namespace {

// A bottom-up frame whose every byte says where it is and which frame it belongs to.
std::vector<uint8_t> Frame(int w, int h, int bytesPerPixel, int n) {
    std::vector<uint8_t> f(static_cast<size_t>(w) * h * bytesPerPixel);
    for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<uint8_t>(i * 7 + n * 31);
    return f;
}

struct AviContents {
    DWORD rate = 0, scale = 0;
    LONG length = 0;
    BITMAPINFOHEADER format{};
    std::vector<std::vector<uint8_t>> frames;  // empty for an empty frame
};

bool ReadAvi(const std::string& path, AviContents& out) {
    AVIFileInit();
    PAVISTREAM stream = nullptr;
    bool ok = AVIStreamOpenFromFileW(&stream, kv::os::Widen(path).c_str(), streamtypeVIDEO, 0,
                                     OF_READ, nullptr) == AVIERR_OK;
    if (ok) {
        AVISTREAMINFOW info{};
        AVIStreamInfoW(stream, &info, sizeof info);
        out.rate = info.dwRate;
        out.scale = info.dwScale;
        out.length = AVIStreamLength(stream);
        LONG size = sizeof out.format;
        AVIStreamReadFormat(stream, 0, &out.format, &size);
        for (LONG i = 0; i < out.length; ++i) {
            LONG bytes = 0;
            AVIStreamRead(stream, i, 1, nullptr, 0, &bytes, nullptr);
            std::vector<uint8_t> data(static_cast<size_t>(bytes));
            if (bytes > 0 &&
                AVIStreamRead(stream, i, 1, data.data(), bytes, nullptr, nullptr) != AVIERR_OK)
                ok = false;
            out.frames.push_back(std::move(data));
        }
        AVIStreamRelease(stream);
    }
    AVIFileExit();
    return ok;
}

}  // namespace

TEST(MovieWriterWin, UncompressedAviHoldsTheFramesAsRendered) {
    const std::string dir = kvtest::TempDir("avi");
    for (int bits : {32, 24}) {
        const std::string path = dir + "\\movie" + std::to_string(bits) + ".avi";
        kvtest::WriteFileBytes(path, "an older, longer file that must not show through");
        kv::MovieWriter writer;
        kv::MovieFormat format;
        format.width = 6;
        format.height = 4;
        format.bitCount = bits;
        format.rate = 2997;
        format.scale = 100;
        ASSERT_TRUE(writer.Open(path, format)) << writer.LastError();
        const int bpp = bits / 8;
        const auto f0 = Frame(6, 4, bpp, 0), f1 = Frame(6, 4, bpp, 1), f3 = Frame(6, 4, bpp, 3);
        ASSERT_TRUE(writer.WriteFrame(0, f0.data(), 6 * bpp)) << writer.LastError();
        ASSERT_TRUE(writer.WriteFrame(1, f1.data(), 6 * bpp)) << writer.LastError();
        ASSERT_TRUE(writer.WriteFrame(3, f3.data(), 6 * bpp)) << writer.LastError();  // a gap
        EXPECT_EQ(writer.NextFrame(), 4);
        EXPECT_FALSE(writer.WriteFrame(2, f1.data(), 6 * bpp));  // out of order
        ASSERT_TRUE(writer.Close());

        AviContents avi;
        ASSERT_TRUE(ReadAvi(path, avi)) << path;
        EXPECT_EQ(avi.rate, 2997u);  // kept as given, not reduced
        EXPECT_EQ(avi.scale, 100u);
        ASSERT_EQ(avi.length, 4);
        EXPECT_EQ(avi.format.biBitCount, 32);
        EXPECT_EQ(avi.format.biCompression, static_cast<DWORD>(BI_RGB));
        EXPECT_EQ(avi.format.biHeight, 4);  // bottom-up
        auto widened = [&](const std::vector<uint8_t>& f) {
            if (bits == 32) return f;
            std::vector<uint8_t> out;
            for (size_t i = 0; i < f.size(); i += 3)
                out.insert(out.end(), {f[i], f[i + 1], f[i + 2], 0xFF});
            return out;
        };
        EXPECT_EQ(avi.frames[0], widened(f0));
        EXPECT_EQ(avi.frames[1], widened(f1));
        EXPECT_TRUE(avi.frames[2].empty());  // the gap is an empty frame
        EXPECT_EQ(avi.frames[3], widened(f3));
    }
}

TEST(MovieWriterWin, RefusesWhatItCannotWrite) {
    const std::string dir = kvtest::TempDir("refuse");
    kv::MovieWriter writer;
    kv::MovieFormat format;
    format.width = 8;
    format.height = 8;
    format.rate = 2500;
    EXPECT_TRUE(kv::HaveMovieContainer(kv::MovieContainer::Avi));
    EXPECT_FALSE(kv::HaveMovieContainer(kv::MovieContainer::QuickTime));
    format.container = kv::MovieContainer::QuickTime;
    EXPECT_FALSE(writer.Open(dir + "\\m.mov", format));
    EXPECT_EQ(writer.LastError(), "container not available");
    format.container = kv::MovieContainer::Avi;
    format.codec = "ZZZZ";
    EXPECT_FALSE(writer.Open(dir + "\\m.avi", format));
    EXPECT_EQ(writer.LastError(), "unknown codec 'ZZZZ'");
    format.codec = "";
    format.width = 9000;
    EXPECT_FALSE(writer.Open(dir + "\\m.avi", format));
    format.width = 8;
    format.rate = 0;
    EXPECT_FALSE(writer.Open(dir + "\\m.avi", format));
    format.rate = 2500;
    format.bitCount = 16;
    EXPECT_FALSE(writer.Open(dir + "\\m.avi", format));
    EXPECT_FALSE(writer.IsOpen());
    uint8_t pixel[4] = {};
    EXPECT_FALSE(writer.WriteFrame(0, pixel, 4));
    EXPECT_TRUE(writer.Close());  // safe when not open

    const std::vector<std::string> codes = kv::MovieCodecs(kv::MovieContainer::Avi);
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes[0], "");  // uncompressed first
    for (const std::string& code : codes)
        EXPECT_TRUE(kv::HaveMovieCodec(kv::MovieContainer::Avi, code));
    EXPECT_TRUE(kv::MovieCodecs(kv::MovieContainer::QuickTime).empty());
    EXPECT_EQ(kv::MovieCodecName(kv::MovieContainer::Avi, "DIB "), "Uncompressed 32-bit");
    EXPECT_TRUE(kv::HaveCompressorDialog());
}

TEST(RuntimeLibraryWin, LoadsByWindowsName) {
    EXPECT_EQ(kv::SharedObjectName("libMjpgOut.so"), "MjpgOut.dll");
    EXPECT_EQ(kv::SharedObjectName("RtvBridge.dll"), "RtvBridge.dll");
    kv::RuntimeLibrary missing;
    EXPECT_FALSE(missing.Load("RtvBridge.dll"));
    EXPECT_FALSE(missing.Loaded());
    EXPECT_EQ(missing.Find("anything"), nullptr);
    kv::RuntimeLibrary system;
    ASSERT_TRUE(system.Load("kernel32.dll"));
    EXPECT_NE(system.Find("GetCurrentProcessId"), nullptr);
    EXPECT_EQ(system.Find("NoSuchEntryAnywhere"), nullptr);
    // A folder named in KINEVISTA_LIB_PATH is searched first (a copy of a system library
    // stands in for a bridge).
    const std::string dir = kvtest::TempDir("libs");
    wchar_t systemDir[MAX_PATH] = {};
    GetSystemDirectoryW(systemDir, MAX_PATH);
    ASSERT_TRUE(CopyFileW((std::wstring(systemDir) + L"\\version.dll").c_str(),
                          kv::os::Widen(dir + "\\MjpgOut.dll").c_str(), FALSE));
    _putenv_s("KINEVISTA_LIB_PATH", ("C:\\nowhere;" + dir).c_str());
    kv::RuntimeLibrary bridge;
    EXPECT_TRUE(bridge.Load("libMjpgOut.so"));
    EXPECT_EQ(bridge.Path(), dir + "\\MjpgOut.dll");
    _putenv_s("KINEVISTA_LIB_PATH", "");
}
