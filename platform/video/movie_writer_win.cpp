// MovieWriter on Windows over AVIFile (vfw32): the AVI stream is written by the system, and a
// code other than uncompressed names one of the system's installed video compressors (its
// four-character handler), fed through AVIMakeCompressedStream. QuickTime-style .mov files need
// the FFmpeg muxer, which the Windows build does not carry: that container is unavailable.
//
// Uncompressed frames are stored as 32-bit BI_RGB rows, bottom-up, byte for byte as rendered
// (24-bit frames get an opaque fourth byte), every frame a key frame, as the Linux build writes
// them. A gap before frame n is filled with empty frames.
#include <windows.h>
// windows.h first: vfw.h needs its types.
#include <vfw.h>

#include <cstring>

#include "platform/video/movie_writer.h"

namespace kv {

namespace {

uint32_t FourCC(const std::string& code) {
    char c[4] = {' ', ' ', ' ', ' '};
    for (size_t i = 0; i < 4 && i < code.size(); ++i) c[i] = code[i];
    return static_cast<uint32_t>(static_cast<uint8_t>(c[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(c[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(c[3])) << 24;
}

std::string CodeOf(DWORD handler) {
    std::string code(4, ' ');
    for (int i = 0; i < 4; ++i)
        code[static_cast<size_t>(i)] = static_cast<char>((handler >> (8 * i)) & 0xFF);
    return code;
}

bool Uncompressed(const std::string& code) {
    return code.empty() || code == "DIB ";
}

// Whether the system has a compressor for the code, and its description.
bool FindCompressor(const std::string& code, std::string* name) {
    if (code.size() != 4) return false;
    HIC ic = ICOpen(ICTYPE_VIDEO, FourCC(code), ICMODE_COMPRESS);
    if (!ic) return false;
    if (name) {
        ICINFO info{};
        info.dwSize = sizeof info;
        if (ICGetInfo(ic, &info, sizeof info)) {
            char text[128] = {};
            WideCharToMultiByte(CP_UTF8, 0, info.szDescription, -1, text, sizeof text - 1, nullptr,
                                nullptr);
            *name = text;
        }
    }
    ICClose(ic);
    return true;
}

struct AviLibrary {
    AviLibrary() { AVIFileInit(); }
    ~AviLibrary() { AVIFileExit(); }
};

void EnsureAviLibrary() {
    static AviLibrary library;  // AVIFile stays initialised until the program exits
}

}  // namespace

struct MovieWriter::Impl {
    MovieFormat format;
    std::string path;
    std::string error;
    int64_t next = 0;
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;      // the file's stream
    PAVISTREAM compressed = nullptr;  // the compressor in front of it, when there is one
    std::vector<uint8_t> frame;       // a 24-bit frame widened to 32 bits

    bool Fail(const std::string& what, HRESULT hr = S_OK) {
        error = what;
        if (hr != S_OK) {
            char code[32];
            std::snprintf(code, sizeof code, " (0x%08lX)", static_cast<unsigned long>(hr));
            error += code;
        }
        return false;
    }
    PAVISTREAM Target() const { return compressed ? compressed : stream; }
    void Free() {
        if (compressed) AVIStreamRelease(compressed);
        if (stream) AVIStreamRelease(stream);
        if (file) AVIFileRelease(file);
        compressed = stream = nullptr;
        file = nullptr;
    }
};

MovieWriter::MovieWriter() : m(std::make_unique<Impl>()) {}

MovieWriter::~MovieWriter() {
    Close();
}

bool MovieWriter::IsOpen() const {
    return m->stream != nullptr;
}

int64_t MovieWriter::NextFrame() const {
    return m->next;
}

const std::string& MovieWriter::LastError() const {
    return m->error;
}

bool HaveMovieContainer(MovieContainer c) {
    return c == MovieContainer::Avi;
}

bool HaveMovieCodec(MovieContainer c, const std::string& code) {
    if (c != MovieContainer::Avi) return false;
    return Uncompressed(code) || FindCompressor(code, nullptr);
}

std::vector<std::string> MovieCodecs(MovieContainer c) {
    std::vector<std::string> out;
    if (c != MovieContainer::Avi) return out;
    out.push_back("");
    ICINFO info{};
    for (DWORD i = 0; ICInfo(ICTYPE_VIDEO, i, &info); ++i) {
        const std::string code = CodeOf(info.fccHandler);
        if (!Uncompressed(code) && FindCompressor(code, nullptr)) out.push_back(code);
    }
    return out;
}

std::string MovieCodecName(MovieContainer c, const std::string& code) {
    if (c != MovieContainer::Avi) return {};
    if (Uncompressed(code)) return "Uncompressed 32-bit";
    std::string name;
    return FindCompressor(code, &name) ? name : std::string();
}

bool MovieWriter::Open(const std::string& path, const MovieFormat& format) {
    Close();
    Impl& s = *m;
    s.error.clear();
    s.format = format;
    s.path = path;
    s.next = 0;
    if (format.container != MovieContainer::Avi) return s.Fail("container not available");
    const bool raw = Uncompressed(format.codec);
    if (!raw && !FindCompressor(format.codec, nullptr))
        return s.Fail("unknown codec '" + format.codec + "'");
    if (format.width <= 0 || format.height <= 0 || format.width > 8192 || format.height > 8192)
        return s.Fail("frame size out of range");
    if (format.bitCount != 24 && format.bitCount != 32)
        return s.Fail("frames must be 24 or 32 bits");
    if (format.rate <= 0 || format.scale <= 0) return s.Fail("frame rate must be above zero");
    EnsureAviLibrary();

    // Created afresh (an existing file is emptied); the file may already be open elsewhere for
    // writing, as the temporary file of an atomic write is.
    std::wstring wide(
        static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    HRESULT hr =
        AVIFileOpenW(&s.file, wide.c_str(), OF_WRITE | OF_CREATE | OF_SHARE_DENY_NONE, nullptr);
    if (hr != AVIERR_OK) return s.Fail("cannot create the movie file", hr);

    AVISTREAMINFOW info{};
    info.fccType = streamtypeVIDEO;
    info.fccHandler = raw ? mmioFOURCC('D', 'I', 'B', ' ') : FourCC(format.codec);
    info.dwScale = static_cast<DWORD>(format.scale);
    info.dwRate = static_cast<DWORD>(format.rate);
    info.dwQuality = static_cast<DWORD>(format.quality < 0     ? 0
                                        : format.quality > 100 ? 10000
                                                               : format.quality * 100);
    info.dwSuggestedBufferSize = static_cast<DWORD>(format.width) * format.height * 4;
    SetRect(&info.rcFrame, 0, 0, format.width, format.height);
    hr = AVIFileCreateStreamW(s.file, &s.stream, &info);
    if (hr != AVIERR_OK) {
        s.Free();
        return s.Fail("cannot create the video stream", hr);
    }
    if (!raw) {
        AVICOMPRESSOPTIONS options{};
        options.fccType = streamtypeVIDEO;
        options.fccHandler = FourCC(format.codec);
        options.dwQuality = info.dwQuality;
        options.dwFlags = AVICOMPRESSF_VALID;
        hr = AVIMakeCompressedStream(&s.compressed, s.stream, &options, nullptr);
        if (hr != AVIERR_OK) {
            s.Free();
            return s.Fail("the compressor refused the format", hr);
        }
    }
    BITMAPINFOHEADER bih{};
    bih.biSize = sizeof bih;
    bih.biWidth = format.width;
    bih.biHeight = format.height;
    bih.biPlanes = 1;
    bih.biBitCount = 32;
    bih.biCompression = BI_RGB;
    bih.biSizeImage = static_cast<DWORD>(format.width) * format.height * 4;
    hr = AVIStreamSetFormat(s.Target(), 0, &bih, sizeof bih);
    if (hr != AVIERR_OK) {
        s.Free();
        return s.Fail("the stream refused the frame format", hr);
    }
    return true;
}

bool MovieWriter::WriteFrame(int64_t n, const uint8_t* bottomRow, int32_t rowBytes) {
    Impl& s = *m;
    if (!s.stream || !bottomRow) return s.Fail("movie not open");
    if (n < s.next) return s.Fail("frames must be written in order");
    if (n > 0x7FFFFFFF) return s.Fail("too many frames");
    const int32_t w = s.format.width, h = s.format.height;
    if (rowBytes < w * (s.format.bitCount / 8)) return s.Fail("rows too short");
    // Empty frames for a gap, straight into the file's stream.
    for (int64_t gap = s.next; gap < n; ++gap) {
        uint8_t none = 0;
        HRESULT hr =
            AVIStreamWrite(s.stream, static_cast<LONG>(gap), 1, &none, 0, 0, nullptr, nullptr);
        if (hr != AVIERR_OK) return s.Fail("cannot write to the movie file", hr);
    }
    s.frame.resize(static_cast<size_t>(w) * h * 4);
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* src = bottomRow + static_cast<ptrdiff_t>(y) * rowBytes;
        uint8_t* dst = s.frame.data() + static_cast<size_t>(y) * w * 4;
        if (s.format.bitCount == 32) {
            std::memcpy(dst, src, static_cast<size_t>(w) * 4);
        } else {
            for (int32_t x = 0; x < w; ++x) {
                dst[4 * x] = src[3 * x];
                dst[4 * x + 1] = src[3 * x + 1];
                dst[4 * x + 2] = src[3 * x + 2];
                dst[4 * x + 3] = 0xFF;
            }
        }
    }
    const HRESULT hr =
        AVIStreamWrite(s.Target(), static_cast<LONG>(n), 1, s.frame.data(),
                       static_cast<LONG>(s.frame.size()), AVIIF_KEYFRAME, nullptr, nullptr);
    if (hr != AVIERR_OK) return s.Fail("cannot write to the movie file", hr);
    s.next = n + 1;
    return true;
}

bool MovieWriter::PrimeFrame(const uint8_t* bottomRow, int32_t) {
    Impl& s = *m;
    if (!s.stream || !bottomRow) return s.Fail("movie not open");
    return true;  // AVI frames need no conversion before the compressor sees them
}

// The system's compressors take each frame as it is written: nothing is kept, so a held frame
// is given back at once and there is never anything to flush.
bool MovieWriter::WriteFrameHeld(int64_t n, const uint8_t* bottomRow, int32_t rowBytes,
                                 std::function<void()> released) {
    const bool ok = WriteFrame(n, bottomRow, rowBytes);
    if (released) released();
    return ok;
}

bool MovieWriter::FlushHeld() {
    return true;
}

bool MovieWriter::Close() {
    Impl& s = *m;
    if (!s.file) return true;
    s.Free();  // releasing the file writes its index and headers
    return true;
}

}  // namespace kv

// Sound needs FFmpeg, which the Windows build does not have: movies are made without it, and the
// movie job says so when a show names a sound file.
namespace kv {

void MovieWriter::CueSound(int64_t, int64_t) {}

bool MovieWriter::HasSound() const {
    return false;
}

std::string SoundFileProblem(const std::string&) {
    return "sound in movies is not available in the Windows build";
}

}  // namespace kv
