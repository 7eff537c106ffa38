// The module's entry: MLT calls mlt_register when it scans its module folder.
#include <framework/mlt.h>

#include <climits>
#include <cstdio>

extern "C" void* KvMltProducerInit(mlt_profile profile, mlt_service_type type, const char* id,
                                   const void* arg);

namespace {

// The producer's description, from the module's folder of MLT's data.
mlt_properties Metadata(mlt_service_type, const char*, void* file) {
    char path[PATH_MAX];
    const char* data = mlt_environment("MLT_DATA");
    std::snprintf(path, sizeof path, "%s/kinevista/%s", data ? data : "",
                  static_cast<const char*>(file));
    return mlt_properties_parse_yaml(path);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) MLT_REPOSITORY {
    MLT_REGISTER(mlt_service_producer_type, "kinevista", KvMltProducerInit);
    MLT_REGISTER_METADATA(mlt_service_producer_type, "kinevista", Metadata,
                          const_cast<char*>("producer_kinevista.yml"));
}
