// MovieHost: what the movie, still and batch commands need from the program around them.
//
// The editor implements it with its option dialog, file dialogs, the progress panel drawn on
// the stage and Esc polling of its message queue; the CLI with command-line flags, a terminal
// progress line and Ctrl-C. The commands call it on the thread that runs them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/picture/cdib.h"
#include "output/movie_job.h"
#include "output/output_frame.h"

namespace kv {

class Show;

// A save or open dialog request.
struct FileRequest {
    std::string filter;         // "Name (*.x)|*.x|...|"
    std::string extension;      // default extension with its dot
    std::string initialFolder;  // where the dialog starts
    std::string proposedName;   // the name offered
};

class MovieHost {
public:
    virtual ~MovieHost() = default;

    // "Make Movie Options": edits the nine texts in place; false when cancelled.
    virtual bool MovieOptions(MovieOptionTexts& texts) = 0;
    // Save dialog for the movie (or, with a Targa filter, the still); false when cancelled.
    virtual bool ChooseOutputFile(const FileRequest& request, std::string& path) = 0;
    // Batch: the show files to render (the command uses the first 64); false when cancelled.
    virtual bool ChooseShowFiles(const FileRequest& request, std::vector<std::string>& files) = 0;

    // The AVI compressor choice, once per job: codec holds the kept "CodecType" and receives
    // the choice; quality likewise (0..100). False when cancelled.
    virtual bool ChooseAviCompressor(std::string& codec, int32_t& quality) = 0;
    // The .mov sequence settings: codec ("CodecType"), spatial quality (0..0x3FF) and the 16.16
    // temporal rate, edited in place. False when cancelled.
    virtual bool ChooseQtCompressor(std::string& codec, int32_t& spatialQuality,
                                    int32_t& temporalRate) = 0;
    // The codec of an .mp4, .mkv or .webm movie, once per job: codec holds the kept
    // "MovieCodec" ("" for the container's default) and receives the choice; quality (0..100)
    // likewise. False when cancelled. Without a dialog the values are taken as they are.
    virtual bool ChooseCompressor(MovieContainer /*container*/, std::string& /*codec*/,
                                  int32_t& /*quality*/) {
        return true;
    }

    // The progress panel: fraction 0..1, its text, and the pass's start tick (0: no estimate;
    // TimeToGoText gives the estimate line).
    virtual void ShowProgress(double fraction, const char* text, uint64_t startTick) = 0;
    // Takes one waiting input message off the queue (it is not dispatched): true when it is a
    // key-down of Esc, or of any key when anyKey is set.
    virtual bool TakeKeyDown(bool anyKey) = 0;
    // The user asked to stop the whole job (not just the current pass): no further passes,
    // holds or batch shows are made; the movie in progress is closed and kept.
    virtual bool StopRequested() { return false; }
    // A stopped job ends with this report instead of the success message: `written` of the
    // `total` frames of the movie in progress were made, and the partial movie was kept as
    // `keptAs` ("" when none could be kept). The target named at the start is never replaced.
    virtual void JobStopped(int64_t /*written*/, int64_t /*total*/, const std::string& /*keptAs*/) {
    }
    // Milliseconds of a steady clock; never 0.
    virtual uint64_t Ticks();

    // The job has moved to a frame: the viewer's timecode box and the timeline follow.
    virtual void FrameShown(int32_t /*frame*/) {}
    // Redraw the stage and its image at a frame.
    virtual void RedrawStage(int32_t /*frame*/) {}
    // The viewer is hidden for the whole movie command.
    virtual void ShowViewer(bool /*visible*/) {}
    // The arrow cursor after a pass.
    virtual void ArrowCursor() {}
    // The default beep after a still was saved.
    virtual void Beep() {}
    // Whether the camera takes the frame's shape instead of the show being matted in it.
    virtual bool FillFrame() { return false; }
    // Something the person should know about the frames of the job (said once per job): the
    // show is matted in the frame, or the container takes no fields.
    virtual void FrameNotice(const std::string& /*text*/) {}
    // The renderer to use; RenderFrame unless a host says otherwise.
    virtual FrameRenderFn Renderer();
    // The movie frames to write of a movie of totalFrames (see FrameWindow); false ends the
    // command before a file is made. The whole movie unless overridden.
    virtual bool MovieFrameWindow(int64_t /*totalFrames*/, int64_t& /*first*/, int64_t& /*last*/) {
        return true;
    }
    // Frames rendered ahead while earlier ones are encoded and written on a thread of their own;
    // 0 writes each frame before the next is rendered. The movie's bytes are the same either way.
    virtual int32_t PipelineDepth() { return DefaultPipelineDepth; }
    // A batch entry that made no movie: it is missing, cannot be read or is not a show. The
    // editor's batch passes over such entries as before; the command-line tool names them.
    virtual void BatchShowSkipped(const std::string& /*path*/) {}
    // The movie at `path` could not be written whole; `problem` says why in the system's words
    // when the writer knows ("" otherwise). The job's own message follows.
    virtual void MovieWriteFailed(const std::string& /*path*/, const std::string& /*problem*/) {}
};

}  // namespace kv
