// The producer's C side for MLT (creation, frames, images, the property that names the show)
// and the arithmetic it rests on.
#include "plugin/mlt/show_producer.h"

#include <framework/mlt.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "output/output_frame.h"
#include "plugin/frei0r/show_source.h"

namespace kvmlt {

int32_t ShowFrameOf(int64_t position, double profileFps, int32_t showRate, int32_t showLength) {
    if (!(profileFps > 0.0)) return 0;
    return kvfrei0r::ShowFrameAt(static_cast<double>(position) / profileFps, showRate, showLength);
}

int64_t ClipLength(int32_t endFrame, int32_t showRate, double profileFps) {
    return kv::FramesAtRate(endFrame, showRate, profileFps);
}

std::string ResolveShowPath(const std::string& resource, const std::string& root) {
    if (resource.empty() || resource[0] == '/' || root.empty()) return resource;
    std::string joined = root;
    if (joined.back() != '/') joined += '/';
    joined += resource;
    struct stat st {};
    return stat(joined.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? joined : resource;
}

void ToRgb(const uint32_t* bgra, int32_t width, int32_t height, uint8_t* rgb, int32_t outWidth) {
    const auto* src = reinterpret_cast<const uint8_t*>(bgra);
    if (outWidth == width) {
        const size_t count = static_cast<size_t>(width) * height;
        for (size_t i = 0; i < count; ++i) {
            rgb[3 * i] = src[4 * i + 2];
            rgb[3 * i + 1] = src[4 * i + 1];
            rgb[3 * i + 2] = src[4 * i];
        }
        return;
    }
    // Each output pixel covers width / outWidth source pixels: their weighted mean.
    const double step = static_cast<double>(width) / outWidth;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = src + static_cast<size_t>(y) * width * 4;
        uint8_t* out = rgb + static_cast<size_t>(y) * outWidth * 3;
        for (int32_t x = 0; x < outWidth; ++x) {
            const double left = x * step, right = left + step;
            double sum[3] = {0, 0, 0}, weight = 0;
            for (auto i = static_cast<int32_t>(left); i < width && i < right; ++i) {
                const double w =
                    std::fmin(right, i + 1.0) - std::fmax(left, static_cast<double>(i));
                if (w <= 0) continue;
                for (int c = 0; c < 3; ++c) sum[c] += w * row[4 * i + 2 - c];
                weight += w;
            }
            for (int c = 0; c < 3; ++c)
                out[3 * x + c] =
                    static_cast<uint8_t>(weight > 0 ? std::lround(sum[c] / weight) : 0);
        }
    }
}

int32_t DrawingWidth(int32_t width, int32_t height, double displayAspect) {
    if (kv::VideoFrameSize(width, height) || !(displayAspect > 0.0)) return width;
    const double square = height * displayAspect;
    if (std::fabs(square - width) <= 1.0) return width;
    const double rounded = std::floor(square + 0.5);
    return rounded < 1.0                 ? 1
           : rounded > kv::MaxOutputSide ? kv::MaxOutputSide
                                         : static_cast<int32_t>(rounded);
}

namespace {

// One renderer with its frame image; a thread holds it for one image.
struct Worker {
    Worker() : source(8, 8) {}
    kvfrei0r::ShowSource source;
    std::vector<uint32_t> bgra;
};

// What the producer keeps beside MLT's own object.
struct State {
    std::mutex lock;
    std::vector<std::unique_ptr<Worker>> idle;
    std::string lengthFor;  // the show path whose length the clip was given
    bool lengthKnown = false;
    mlt_profile profile = nullptr;  // the one the producer was made for, until MLT gives it
};

State* StateOf(mlt_producer producer) {
    return static_cast<State*>(producer->child);
}

std::unique_ptr<Worker> TakeWorker(State& state) {
    {
        std::lock_guard<std::mutex> hold(state.lock);
        if (!state.idle.empty()) {
            std::unique_ptr<Worker> w = std::move(state.idle.back());
            state.idle.pop_back();
            return w;
        }
    }
    return std::make_unique<Worker>();
}

void GiveBack(State& state, std::unique_ptr<Worker> worker) {
    std::lock_guard<std::mutex> hold(state.lock);
    state.idle.push_back(std::move(worker));
}

std::string Text(mlt_properties props, const char* name) {
    const char* v = mlt_properties_get(props, name);
    return v ? v : "";
}

mlt_profile ProfileOf(mlt_producer producer) {
    const mlt_profile profile = mlt_service_profile(MLT_PRODUCER_SERVICE(producer));
    return profile ? profile : StateOf(producer)->profile;
}

double ProfileFps(mlt_producer producer) {
    const mlt_profile profile = ProfileOf(producer);
    return profile ? mlt_profile_fps(profile) : 25.0;
}

// MLT's XML reader joins a relative "resource" to its document's root folder itself; a
// resource set afterwards (as Kdenlive does) is taken against the producer's own "root".
std::string ShowPathOf(mlt_producer producer) {
    const mlt_properties props = MLT_PRODUCER_PROPERTIES(producer);
    return ResolveShowPath(Text(props, "resource"), Text(props, "root"));
}

// Gives the clip the show's length once its show is known (and again when the show changes).
void UpdateLength(mlt_producer producer) {
    State& state = *StateOf(producer);
    const std::string path = ShowPathOf(producer);
    {
        std::lock_guard<std::mutex> hold(state.lock);
        if (path.empty() || (state.lengthKnown && state.lengthFor == path)) return;
        state.lengthKnown = true;
        state.lengthFor = path;
    }
    std::unique_ptr<Worker> worker = TakeWorker(state);
    worker->source.SetShowPath(path.c_str());
    const bool loaded = worker->source.Load();
    const kv::Show& show = worker->source.LoadedShow();
    const int64_t length =
        loaded ? ClipLength(show.EndFrame(), show.FrameRate, ProfileFps(producer)) : 0;
    GiveBack(state, std::move(worker));
    if (length < 1) return;
    const mlt_properties props = MLT_PRODUCER_PROPERTIES(producer);
    mlt_properties_set_position(props, "length", static_cast<mlt_position>(length));
    mlt_properties_set_position(props, "out", static_cast<mlt_position>(length - 1));
}

int GetImage(mlt_frame frame, uint8_t** buffer, mlt_image_format* format, int* width, int* height,
             int /*writable*/) {
    try {
        auto producer = static_cast<mlt_producer>(mlt_frame_pop_service(frame));
        const mlt_properties props = MLT_PRODUCER_PROPERTIES(producer);
        const mlt_properties frameProps = MLT_FRAME_PROPERTIES(frame);
        const mlt_profile profile = ProfileOf(producer);
        if (!profile) return 1;
        if (*width <= 0) *width = profile->width;
        if (*height <= 0) *height = profile->height;
        const int32_t w = *width, h = *height;
        const double dar = mlt_profile_dar(profile);
        const int32_t drawWidth = DrawingWidth(w, h, dar);

        State& state = *StateOf(producer);
        std::unique_ptr<Worker> worker = TakeWorker(state);
        kvfrei0r::ShowSource& source = worker->source;
        source.Resize(drawWidth, h);
        source.SetShowPath(ShowPathOf(producer).c_str());
        // "fields" 1 or 0 decides; unset or -1 follows the profile.
        int fields =
            mlt_properties_get(props, "fields") ? mlt_properties_get_int(props, "fields") : -1;
        if (fields < 0) fields = profile->progressive ? 0 : 1;
        source.SetFields(fields != 0);
        source.SetQuality(mlt_properties_get(props, "quality")
                              ? mlt_properties_get_double(props, "quality")
                              : 1.0);
        source.SetFill(mlt_properties_get_int(props, "fill") != 0);
        if (!source.Valid()) {
            GiveBack(state, std::move(worker));
            return 1;
        }
        source.Load();
        const kv::Show& show = source.LoadedShow();
        const int32_t showFrame =
            ShowFrameOf(mlt_frame_original_position(frame), mlt_profile_fps(profile),
                        show.FrameRate, show.length);
        worker->bgra.resize(static_cast<size_t>(drawWidth) * h);
        kv::FrameScan scan = kv::FrameScan::Progressive;
        source.RenderShowFrame(showFrame, worker->bgra.data(), &scan);

        const int size = mlt_image_format_size(mlt_image_rgb, w, h, nullptr);
        auto* image = static_cast<uint8_t*>(mlt_pool_alloc(size));
        if (!image) {
            GiveBack(state, std::move(worker));
            return 1;
        }
        ToRgb(worker->bgra.data(), drawWidth, h, image, w);
        GiveBack(state, std::move(worker));

        mlt_frame_set_image(frame, image, size, mlt_pool_release);
        *buffer = image;
        *format = mlt_image_rgb;
        mlt_properties_set_int(frameProps, "format", mlt_image_rgb);
        mlt_properties_set_int(frameProps, "width", w);
        mlt_properties_set_int(frameProps, "height", h);
        mlt_properties_set_double(frameProps, "aspect_ratio", dar * h / w);
        mlt_properties_set_int(frameProps, "progressive", scan == kv::FrameScan::Progressive);
        mlt_properties_set_int(frameProps, "top_field_first", scan == kv::FrameScan::TopFieldFirst);
        return 0;
    } catch (...) {
        return 1;
    }
}

int GetFrame(mlt_producer producer, mlt_frame_ptr frame, int /*index*/) {
    try {
        UpdateLength(producer);
        *frame = mlt_frame_init(MLT_PRODUCER_SERVICE(producer));
        if (*frame) {
            const mlt_properties frameProps = MLT_FRAME_PROPERTIES(*frame);
            const mlt_profile profile = ProfileOf(producer);
            mlt_frame_set_position(*frame, mlt_producer_frame(producer));
            if (profile) {
                mlt_properties_set_int(frameProps, "progressive", profile->progressive);
                mlt_properties_set_double(frameProps, "aspect_ratio", mlt_profile_sar(profile));
                mlt_properties_set_int(frameProps, "meta.media.width", profile->width);
                mlt_properties_set_int(frameProps, "meta.media.height", profile->height);
            }
            mlt_frame_push_service(*frame, producer);
            mlt_frame_push_get_image(*frame, GetImage);
        }
    } catch (...) {
    }
    mlt_producer_prepare_next(producer);
    return *frame ? 0 : 1;
}

void Close(mlt_producer producer) {
    delete StateOf(producer);
    producer->child = nullptr;
    producer->close = nullptr;
    mlt_producer_close(producer);
    free(producer);
}

// A new "resource" (Kdenlive sets it after making the producer) gives the clip its length.
void PropertyChanged(mlt_properties, void* listenerData, mlt_event_data data) {
    auto producer = static_cast<mlt_producer>(listenerData);
    try {
        const char* name = mlt_event_data_to_string(data);
        if (name && (!std::strcmp(name, "resource") || !std::strcmp(name, "root")))
            UpdateLength(producer);
    } catch (...) {
    }
}

}  // namespace

}  // namespace kvmlt

extern "C" void* KvMltProducerInit(mlt_profile profile, mlt_service_type, const char*,
                                   const void* arg) {
    auto producer = static_cast<mlt_producer>(calloc(1, sizeof(struct mlt_producer_s)));
    if (!producer) return nullptr;
    auto* state = new (std::nothrow) kvmlt::State;
    if (!state || mlt_producer_init(producer, state) != 0) {
        delete state;
        free(producer);
        return nullptr;
    }
    state->profile = profile;
    try {
        const mlt_properties props = MLT_PRODUCER_PROPERTIES(producer);
        producer->get_frame = kvmlt::GetFrame;
        producer->close = reinterpret_cast<mlt_destructor>(kvmlt::Close);
        // Kdenlive makes the producer without a show and names it afterwards.
        mlt_properties_set(props, "resource", static_cast<const char*>(arg));
        mlt_properties_set_int(props, "seekable", 1);
        mlt_properties_set_double(props, "quality", 1.0);
        mlt_properties_set_int(props, "fill", 0);
        mlt_events_listen(props, producer, "property-changed", kvmlt::PropertyChanged);
        if (arg && *static_cast<const char*>(arg)) kvmlt::UpdateLength(producer);
    } catch (...) {
        mlt_producer_close(producer);  // closes the state too
        return nullptr;
    }
    return producer;
}
