// Conversion of pixels from an embedded ICC profile to sRGB with LittleCMS.
#include <lcms2.h>

#include <mutex>

#include "platform/codecs/more_codecs.h"

namespace kv {

namespace {
// LittleCMS reports broken profiles through a global handler that prints; stay quiet.
void Quiet(cmsContext, cmsUInt32Number, const char*) {}
}  // namespace

SrgbConverter::~SrgbConverter() {
    if (m_transform) cmsDeleteTransform(static_cast<cmsHTRANSFORM>(m_transform));
}

bool SrgbConverter::Open(const uint8_t* profile, std::size_t size, int channels) {
    if (m_transform) {
        cmsDeleteTransform(static_cast<cmsHTRANSFORM>(m_transform));
        m_transform = nullptr;
    }
    if (!profile || size < 128 || (channels != 3 && channels != 4)) return false;
    static std::once_flag quiet;
    std::call_once(quiet, [] { cmsSetLogErrorHandler(Quiet); });
    cmsHPROFILE in = cmsOpenProfileFromMem(profile, static_cast<cmsUInt32Number>(size));
    if (!in) return false;
    if (cmsGetColorSpace(in) != cmsSigRgbData) {
        cmsCloseProfile(in);
        return false;
    }
    cmsHPROFILE out = cmsCreate_sRGBProfile();
    const cmsUInt32Number format = channels == 4 ? TYPE_BGRA_8 : TYPE_BGR_8;
    // Alpha is copied through unchanged.
    const cmsUInt32Number flags = channels == 4 ? cmsFLAGS_COPY_ALPHA : 0;
    m_transform = cmsCreateTransform(in, format, out, format, INTENT_RELATIVE_COLORIMETRIC, flags);
    cmsCloseProfile(in);
    cmsCloseProfile(out);
    return m_transform != nullptr;
}

void SrgbConverter::Convert(uint8_t* pixels, int count) const {
    if (!m_transform || !pixels || count <= 0) return;
    cmsDoTransform(static_cast<cmsHTRANSFORM>(m_transform), pixels, pixels,
                   static_cast<cmsUInt32Number>(count));
}

}  // namespace kv
