// Conversion of pixels from an embedded ICC profile to sRGB with LittleCMS.
//
// A profile of a few hundred bytes can describe colour tables of hundreds of megabytes, which
// LittleCMS would build in full. Each converter therefore works in its own LittleCMS context
// whose memory plug-in keeps a count of the bytes the context holds and refuses any allocation
// beyond ProfileMemoryCap: the profile then counts as broken and the pixels stay as they are.
#include <lcms2.h>
#include <lcms2_plugin.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/codecs/more_codecs.h"

namespace kv {

namespace {

// What one context holds, and whether it was ever refused memory.
struct MemoryBudget {
    std::atomic<std::size_t> used{0};
    std::atomic<bool> refused{false};
};

// Every block carries its size in front, so that a release knows how much to give back.
constexpr std::size_t Header = 16;

MemoryBudget* BudgetOf(cmsContext context) {
    return context ? static_cast<MemoryBudget*>(cmsGetContextUserData(context)) : nullptr;
}

bool Take(MemoryBudget* budget, std::size_t bytes) {
    if (!budget) return true;  // the context's own record, made before its user data is set
    std::size_t used = budget->used.load();
    do {
        if (bytes > ProfileMemoryCap || used > ProfileMemoryCap - bytes) {
            budget->refused = true;
            return false;
        }
    } while (!budget->used.compare_exchange_weak(used, used + bytes));
    return true;
}

void Give(MemoryBudget* budget, std::size_t bytes) {
    if (budget) budget->used -= bytes;
}

void* Allocate(cmsContext context, cmsUInt32Number size) {
    if (!Take(BudgetOf(context), size)) return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(Header + size));
    if (!block) {
        Give(BudgetOf(context), size);
        return nullptr;
    }
    const std::size_t bytes = size;
    std::memcpy(block, &bytes, sizeof bytes);
    return block + Header;
}

void Release(cmsContext context, void* p) {
    if (!p) return;
    auto* block = static_cast<unsigned char*>(p) - Header;
    std::size_t bytes = 0;
    std::memcpy(&bytes, block, sizeof bytes);
    Give(BudgetOf(context), bytes);
    std::free(block);
}

void* Reallocate(cmsContext context, void* p, cmsUInt32Number size) {
    if (!p) return Allocate(context, size);
    void* fresh = Allocate(context, size);
    if (!fresh) return nullptr;
    std::size_t old = 0;
    std::memcpy(&old, static_cast<unsigned char*>(p) - Header, sizeof old);
    std::memcpy(fresh, p, old < size ? old : size);
    Release(context, p);
    return fresh;
}

cmsPluginMemHandler g_memoryPlugin = {
    {cmsPluginMagicNumber, 2000, cmsPluginMemHandlerSig, nullptr},
    Allocate,
    Release,
    Reallocate,
    nullptr,
    nullptr,
    nullptr,
};

// LittleCMS reports broken profiles through a handler that prints; stay quiet.
void Quiet(cmsContext, cmsUInt32Number, const char*) {}

}  // namespace

struct SrgbConverter::Context {
    MemoryBudget budget;
    cmsContext lcms = nullptr;
    cmsHTRANSFORM transform = nullptr;
    ~Context() {
        if (transform) cmsDeleteTransform(transform);
        if (lcms) cmsDeleteContext(lcms);
    }
};

SrgbConverter::~SrgbConverter() {
    delete m_context;
}

bool SrgbConverter::Open(const uint8_t* profile, std::size_t size, int channels) {
    delete m_context;
    m_context = nullptr;
    m_tooLarge = false;
    if (size > ProfileMemoryCap) m_tooLarge = true;
    if (!profile || size < 128 || size > ProfileMemoryCap || (channels != 3 && channels != 4))
        return false;
    auto* c = new Context;
    m_context = c;
    c->lcms = cmsCreateContext(&g_memoryPlugin, &c->budget);
    if (!c->lcms) return false;
    cmsSetLogErrorHandlerTHR(c->lcms, Quiet);
    cmsHPROFILE in = cmsOpenProfileFromMemTHR(c->lcms, profile, static_cast<cmsUInt32Number>(size));
    if (in && cmsGetColorSpace(in) == cmsSigRgbData) {
        cmsHPROFILE out = cmsCreate_sRGBProfileTHR(c->lcms);
        const cmsUInt32Number format = channels == 4 ? TYPE_BGRA_8 : TYPE_BGR_8;
        // Alpha is copied through unchanged.
        const cmsUInt32Number flags = channels == 4 ? cmsFLAGS_COPY_ALPHA : 0;
        if (out)
            c->transform = cmsCreateTransformTHR(c->lcms, in, format, out, format,
                                                 INTENT_RELATIVE_COLORIMETRIC, flags);
        if (out) cmsCloseProfile(out);
    }
    if (in) cmsCloseProfile(in);
    m_tooLarge = c->budget.refused;
    if (!c->transform) {
        delete m_context;
        m_context = nullptr;
        return false;
    }
    return true;
}

void SrgbConverter::Convert(uint8_t* pixels, int count) const {
    if (!m_context || !m_context->transform || !pixels || count <= 0) return;
    cmsDoTransform(m_context->transform, pixels, pixels, static_cast<cmsUInt32Number>(count));
}

}  // namespace kv
