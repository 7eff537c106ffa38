// The frei0r interface of the source: plug-in and parameter descriptions, instances, values and
// updates. Every entry catches whatever the C++ below it throws: hosts are C programs, and an
// exception that reached one would end it.
#include <new>

// frei0r.h declares the entries without C linkage of its own.
extern "C" {
#include <frei0r.h>
}

#include "plugin/frei0r/show_source.h"

#define KV_FREI0R_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// FFmpeg passes the values by position: a new parameter goes after the last one.
enum Param { ParamShow, ParamFields, ParamQuality, ParamTimeUnit, ParamFill, ParamCount };

struct ParamInfo {
    const char* name;
    int type;
    const char* explanation;
};

// "show" comes first, so that FFmpeg's filter_params can give the path alone.
constexpr ParamInfo Params[ParamCount] = {
    {"show", F0R_PARAM_STRING, "Path of the Kinevista show (.kvx) to render"},
    {"fields", F0R_PARAM_BOOL, "Render interlaced frames: two fields half a frame apart"},
    {"quality", F0R_PARAM_DOUBLE, "1 renders at full quality; lower values take the draft path"},
    {"time_unit", F0R_PARAM_DOUBLE,
     "Seconds per host time unit: 0 detects the host (FFmpeg passes milliseconds, others "
     "seconds), 1 for seconds, 0.001 for milliseconds"},
    {"fill", F0R_PARAM_BOOL,
     "Shape the camera to fill the frame instead of drawing the show whole with bars where the "
     "frame's shape is not the show's"},
};

kvfrei0r::ShowSource* SourceOf(f0r_instance_t instance) {
    return static_cast<kvfrei0r::ShowSource*>(instance);
}

double Clamp01(double v) {
    return v > 1.0 ? 1.0 : v > 0.0 ? v : 0.0;  // NaN becomes 0
}

}  // namespace

KV_FREI0R_EXPORT int f0r_init() {
    return 1;
}

// Instances own everything they use; nothing is left to release when the host unloads.
KV_FREI0R_EXPORT void f0r_deinit() {}

KV_FREI0R_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    if (!info) return;
    info->name = "Kinevista";
    info->author = "Kinevista";
    info->plugin_type = F0R_PLUGIN_TYPE_SOURCE;
    info->color_model = F0R_COLOR_MODEL_BGRA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 1;
    info->minor_version = 0;
    info->num_params = ParamCount;
    info->explanation = "Renders the camera moves of a Kinevista show";
}

KV_FREI0R_EXPORT void f0r_get_param_info(f0r_param_info_t* info, int index) {
    if (!info || index < 0 || index >= ParamCount) return;
    info->name = Params[index].name;
    info->type = Params[index].type;
    info->explanation = Params[index].explanation;
}

KV_FREI0R_EXPORT f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    try {
        if (width < 1 || height < 1 || width > kv::MaxOutputSide || height > kv::MaxOutputSide)
            return nullptr;
        auto* source = new (std::nothrow)
            kvfrei0r::ShowSource(static_cast<int32_t>(width), static_cast<int32_t>(height));
        if (source && !source->Valid()) {
            delete source;
            return nullptr;
        }
        return source;
    } catch (...) {
        return nullptr;
    }
}

KV_FREI0R_EXPORT void f0r_destruct(f0r_instance_t instance) {
    try {
        delete SourceOf(instance);
    } catch (...) {
    }
}

KV_FREI0R_EXPORT void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    kvfrei0r::ShowSource* source = SourceOf(instance);
    if (!source || !param) return;
    try {
        switch (index) {
            case ParamShow:
                source->SetShowPath(*static_cast<f0r_param_string*>(param));
                break;
            case ParamFields:
                source->SetFields(*static_cast<f0r_param_bool*>(param) >= 0.5);
                break;
            case ParamQuality:
                source->SetQuality(Clamp01(*static_cast<f0r_param_double*>(param)));
                break;
            case ParamTimeUnit:
                source->SetTimeUnit(Clamp01(*static_cast<f0r_param_double*>(param)));
                break;
            case ParamFill:
                source->SetFill(*static_cast<f0r_param_bool*>(param) >= 0.5);
                break;
            default:
                break;
        }
    } catch (...) {
        // A value that cannot be stored (no memory for the path) leaves the old one.
    }
}

KV_FREI0R_EXPORT void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    const kvfrei0r::ShowSource* source = SourceOf(instance);
    if (!source || !param) return;
    switch (index) {
        case ParamShow:
            // The host reads the instance's own copy and must not keep it past the next set.
            *static_cast<f0r_param_string*>(param) = const_cast<char*>(source->ShowPath().c_str());
            break;
        case ParamFields:
            *static_cast<f0r_param_bool*>(param) = source->Fields() ? 1.0 : 0.0;
            break;
        case ParamQuality:
            *static_cast<f0r_param_double*>(param) = source->Quality();
            break;
        case ParamTimeUnit:
            *static_cast<f0r_param_double*>(param) = source->TimeUnit();
            break;
        case ParamFill:
            *static_cast<f0r_param_bool*>(param) = source->Fill() ? 1.0 : 0.0;
            break;
        default:
            break;
    }
}

KV_FREI0R_EXPORT void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe,
                                 uint32_t* outframe) {
    (void)inframe;  // a source has no input
    kvfrei0r::ShowSource* source = SourceOf(instance);
    if (!source) return;
    try {
        source->Render(time, outframe);
    } catch (...) {
        // The frame stays as the host handed it; the next one is tried afresh.
    }
}
