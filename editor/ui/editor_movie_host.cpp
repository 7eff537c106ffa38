// The editor's MovieHost; see editor_movie_host.h.
#include "editor/ui/editor_movie_host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/base/settings.h"  // TextToInt
#include "core/show/show.h"
#include "editor/ui/main_window.h"
#include "editor/ui/session/edit_session.h"
#include "editor/ui/toolkit/option_dialog.h"
#include "editor/ui/toolkit/toolkit.h"
#include "output/make_movie.h"
#include "output/movie_writers.h"
#include "output/output_frame.h"

namespace kv {

namespace {

void CopyText(OptionText& slot, const std::string& text) {
    std::snprintf(slot, OptionSlot, "%s", text.c_str());
}

// Runs the compressor dialog; false when cancelled.
bool RunCompressorDialog(HWND owner, MovieContainer c, std::string& codec, int32_t& quality) {
    CompressorChoice choice = CompressorChoiceFor(c, codec);
    if (choice.codes.empty()) return false;
    const bool quickTime = c == MovieContainer::QuickTime;
    OptionText items[16] = {};
    OptionText values[16] = {};
    int count = 0;
    for (size_t i = 0; i < choice.codes.size() && count < 15; ++i, ++count) {
        std::string name = MovieCodecName(c, choice.codes[i]);
        std::string item = (i == 0 ? "@RCompressor|" : "@R") + name;
        CopyText(items[count], item);
        CopyText(values[count], static_cast<int>(i) == choice.selected ? "1" : "");
    }
    const int qualityRow = count++;
    CopyText(items[qualityRow], "@SQuality");
    CopyText(values[qualityRow], std::to_string(quality < 0 ? 0 : quality > 100 ? 100 : quality));
    const int r = RunOptionDialog(owner, 50, 50, count, items, values,
                                  quickTime ? "Compression Settings" : "Video Compression");
    if (r != OptionOk) return false;
    for (int i = 0; i < qualityRow; ++i)
        if (values[i][0] && values[i][0] != '0') codec = choice.codes[static_cast<size_t>(i)];
    quality = std::atoi(values[qualityRow]);
    if (quality < 0) quality = 0;
    if (quality > 100) quality = 100;
    return true;
}

}  // namespace

CompressorChoice CompressorChoiceFor(bool quickTime, const std::string& stored) {
    return CompressorChoiceFor(quickTime ? MovieContainer::QuickTime : MovieContainer::Avi, stored);
}

CompressorChoice CompressorChoiceFor(MovieContainer c, const std::string& stored) {
    CompressorChoice choice;
    choice.codes = MovieCodecs(c);
    for (size_t i = 0; i < choice.codes.size(); ++i)
        if (choice.codes[i] == stored) choice.selected = static_cast<int>(i);
    return choice;
}

void ProposeSizeForShape(const Show& show, MovieOptionTexts& texts) {
    const int32_t w = TextToInt(texts.width.c_str()), h = TextToInt(texts.height.c_str());
    if (w <= 0 || h <= 0 || w > MaxMovieSide || h > MaxMovieSide) return;
    if (!DescribeOutputFrame(show, w, h, 0, 0, false).Matted()) return;
    int32_t pw = 0, ph = 0;
    PublishDefaultSize(ShowShape(show, 0, 0), pw, ph);
    texts.width = std::to_string(pw);
    texts.height = std::to_string(ph);
}

void EditorMovieHost::FrameNotice(const std::string& text) {
    // Said on the panel before the frames start; the matte needs no word in the editor, whose
    // viewer shows the shape.
    if (text == WebmProgressiveNotice) ShowProgress(0, text.c_str(), 0);
}

bool EditorMovieHost::MovieOptions(MovieOptionTexts& texts) {
    ProposeSizeForShape(m_main.session.TheShow(), texts);
    OptionText items[MovieOptionCount] = {};
    OptionText values[MovieOptionCount] = {};
    for (int i = 0; i < MovieOptionCount; ++i) {
        CopyText(items[i], MovieOptionItems[i]);
        CopyText(values[i], MovieOptionText(texts, i).substr(0, MaxOptionText));
    }
    const int r = RunOptionDialog(DialogOwner(), MovieOptionsX, MovieOptionsY, MovieOptionCount,
                                  items, values, MovieOptionsTitle);
    if (r != OptionOk) return false;
    for (int i = 0; i < MovieOptionCount; ++i) MovieOptionText(texts, i) = values[i];
    return true;
}

bool EditorMovieHost::ChooseOutputFile(const FileRequest& request, std::string& path) {
    FileSpec io;
    io.SetPath(request.proposedName.c_str());
    FileSpec folder;
    folder.SetPath(request.initialFolder.c_str());
    if (!ChooseFileToSave(m_main.hwnd, &io, request.filter.c_str(), request.extension.c_str(),
                          &folder))
        return false;
    path = io.path;
    return !path.empty();
}

bool EditorMovieHost::ChooseShowFiles(const FileRequest& request, std::vector<std::string>& files) {
    constexpr int Capacity = 65;
    std::vector<FileSpec> records(Capacity);
    FileSpec folder;
    folder.SetPath(request.initialFolder.c_str());
    if (!ChooseFileToOpen(m_main.hwnd, records.data(), request.filter.c_str(),
                          request.extension.c_str(), &folder, true, Capacity))
        return false;
    files.clear();
    for (const FileSpec& r : records) {
        if (r.Empty()) break;
        files.emplace_back(r.path);
    }
    return !files.empty();
}

bool EditorMovieHost::ChooseAviCompressor(std::string& codec, int32_t& quality) {
    return RunCompressorDialog(DialogOwner(), MovieContainer::Avi, codec, quality);
}

bool EditorMovieHost::ChooseQtCompressor(std::string& codec, int32_t& spatialQuality,
                                         int32_t& temporalRate) {
    // The dialog shows the quality in percent; the compressor keeps 0..0x3FF.
    int32_t percent = spatialQuality * 100 / 0x3FF;
    if (!RunCompressorDialog(DialogOwner(), MovieContainer::QuickTime, codec, percent))
        return false;
    spatialQuality = percent * 0x3FF / 100;
    (void)temporalRate;
    return true;
}

bool EditorMovieHost::ChooseCompressor(MovieContainer container, std::string& codec,
                                       int32_t& quality) {
    return RunCompressorDialog(DialogOwner(), container, codec, quality);
}

void EditorMovieHost::ShowProgress(double fraction, const char* text, uint64_t startTick) {
    m_main.DrawMovieProgress(LayoutProgressPanel(MovieProgressRect, fraction, startTick, Ticks()),
                             text);
    // Long passes run without the main loop: let the window system show the panel now.
    PumpEvents(Pump::NoWait);
}

bool EditorMovieHost::TakeKeyDown(bool anyKey) {
    MSG m;
    // Paints and other window business go on; one input message is taken and judged.
    while (PeekMessage(&m, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(m.wParam));
            return true;
        }
        const bool input = (m.message >= WM_KEYDOWN && m.message <= WM_SYSKEYUP) ||
                           (m.message >= WM_MOUSEMOVE && m.message <= WM_XBUTTONUP);
        if (!input) {
            DispatchMessage(&m);
            continue;
        }
        if (m.message != WM_KEYDOWN) return false;
        return anyKey || m.wParam == static_cast<uint64_t>(VK_ESCAPE);
    }
    return false;
}

void EditorMovieHost::FrameShown(int32_t frame) {
    // The timeline keeps the current frame in view; the timecode box names the movie's frame.
    m_main.session.Notify(ChangedFrame);
    m_main.session.PointAtFrame(frame, nullptr);
}

void EditorMovieHost::RedrawStage(int32_t frame) {
    m_main.session.GoToFrame(frame, false);
    m_main.session.RepaintAll();
}

void EditorMovieHost::ShowViewer(bool visible) {
    m_main.ShowViewer(visible);
}

HWND EditorMovieHost::DialogOwner() const {
    return m_main.session.dialogWindow ? m_main.session.dialogWindow : m_main.hwnd;
}

void EditorMovieHost::ArrowCursor() {
    SetCursorShape(1);
}

void EditorMovieHost::Beep() {
    kv::Beep(0);
}

}  // namespace kv
