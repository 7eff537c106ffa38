// The editor's MovieHost: the movie, still and batch commands through the editor's own dialogs
// (the option dialog on the stage, file dialogs, a compressor choice), the progress panel drawn
// on the stage with "Time to go", and Esc (or any key for the holds) taken off the message queue.
#pragma once

#include <string>
#include <vector>

#include "output/movie_host.h"
#include "platform/win/win.h"

namespace kv {

class CMain;

class EditorMovieHost : public MovieHost {
public:
    // The host draws on the main window and its views, which outlive it.
    explicit EditorMovieHost(CMain& main) : m_main(main) {}

    bool MovieOptions(MovieOptionTexts& texts) override;
    bool ChooseOutputFile(const FileRequest& request, std::string& path) override;
    bool ChooseShowFiles(const FileRequest& request, std::vector<std::string>& files) override;
    bool ChooseAviCompressor(std::string& codec, int32_t& quality) override;
    bool ChooseQtCompressor(std::string& codec, int32_t& spatialQuality,
                            int32_t& temporalRate) override;
    bool ChooseCompressor(MovieContainer container, std::string& codec, int32_t& quality) override;
    void ShowProgress(double fraction, const char* text, uint64_t startTick) override;
    bool TakeKeyDown(bool anyKey) override;
    void FrameShown(int32_t frame) override;
    void RedrawStage(int32_t frame) override;
    void ShowViewer(bool visible) override;
    void ArrowCursor() override;
    void Beep() override;
    void FrameNotice(const std::string& text) override;

private:
    // The dialogs' owner: the session's dialog window (the stage), else the main window.
    HWND DialogOwner() const;

    CMain& m_main;
};

// The movie option texts with the size proposed for the show's shape when the kept size does
// not fit it (square pixels, the shorter side 1080); the person may change it in the dialog.
void ProposeSizeForShape(const Show& show, MovieOptionTexts& texts);

// The compressor dialog's rows for a container's codes: one radio button per code (the stored
// code selected, else the first) and the quality slider. Used by both compressor choices.
struct CompressorChoice {
    std::vector<std::string> codes;
    int selected = 0;
};
CompressorChoice CompressorChoiceFor(bool quickTime, const std::string& stored);
// The same for any container (.mp4, .mkv and .webm offer their codecs, the default first).
CompressorChoice CompressorChoiceFor(MovieContainer c, const std::string& stored);

}  // namespace kv
