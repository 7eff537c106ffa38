// The show file: one block of bytes that is a .kvx file, the exchange file and the plug-in's
// private data.
//
// Layout: an 8-byte header (magic 0x1234, showId, block size S), one record per picture (path,
// key count, 56-byte keys), an optional audio record (key count 0), a 20-byte trailer of picture
// treatments. Blocks are written little-endian; a block whose magic reads 0x3412 was written in
// the other byte order and is read with every number reversed.
//
// Blocks that cannot be held are refused, never truncated: a size field beyond the bytes given,
// a record or trailer running past the block, or more than 64 keys in a picture.
#pragma once

#include <cstdint>
#include <string>

namespace kv {

class Show;
struct ShowLoadSteps;

constexpr uint16_t ShowMagic = 0x1234;
constexpr float ShowFormatVersion = 110.0f;
constexpr uint32_t MaxShowFileBytes = 32765;  // read from a file by the editor
constexpr uint32_t ShowSaveBufferBytes = 32766;
constexpr uint32_t ExchangeBufferBytes = 8192;  // the editor serialises this much for the host
constexpr uint32_t PluginBlockBytes = 4096;     // the plug-in's stored block
constexpr const char* ExchangeFileName = "kvdata.kvx";

// Builds the block of the show with `showId` in its header into buffer (which must hold the
// returned size); with no buffer only the size is returned. Reads the show only: the block
// carries a lone key twice, the version stamp and the show length in the first key, as the
// show holds them once MarkShowSaved has run.
uint32_t BuildShowBlock(const Show& show, uint16_t showId, uint8_t* buffer);

// An id for the show's next block: never the show's current one, so that the plug-in sees the
// show changed.
uint16_t NewShowId(const Show& show);

// What saving does to the show once its block is written: lone keys are doubled, the version
// stamp and show length are set in the first key, `showId` becomes the show's and dirty is
// cleared.
void MarkShowSaved(Show& show, uint16_t showId);

// BuildShowBlock with the changes of saving at once. Without a buffer: lone keys are doubled and
// the version stamp set, and the size is returned; with a buffer a new showId is drawn, the
// block built and MarkShowSaved applied.
uint32_t Serialise(Show& show, uint8_t* buffer);

// Fills a freshly reset show from a block of `size` bytes; false (show untouched) when the
// block is refused. Each picture is prepared, and with render set frame 0 becomes the current
// frame and is rendered (through the hook below when one is installed), by the steps installed
// with SetShowLoadSteps.
bool Parse(Show& show, const uint8_t* block, uint32_t size, bool render);

// Why a show file did not load: the file is missing, cannot be opened otherwise (errno says
// why), or was read but is not a show.
enum class ShowLoadError { None, Missing, CannotOpen, NotAShow };

// Reads a show file: false when it cannot be opened (show unchanged) or is not a show (the show
// is then a new show); `why` tells the cases apart. On success showFile becomes the path and
// showFolder its folder, where the picture is looked for when its stored path does not lead to
// it (core/show/picture_lookup.h); the stored path stays in the show and is saved again.
bool LoadShow(Show& show, const std::string& path, bool render, ShowLoadError* why = nullptr);

// The same as LoadShow, which now finds a picture kept beside its show from any folder; kept
// for the tools that call it by this name.
bool LoadShowLocatingPicture(Show& show, const std::string& path, bool render,
                             ShowLoadError* why = nullptr);

// Writes the show to path atomically (os::AtomicFile: temporary file in the same folder, sync,
// rename; a symbolic link's target is replaced), so an interrupted save leaves the previous
// file whole. On success the show is marked saved (MarkShowSaved) and showFile becomes the
// path; a failed save changes nothing in the show; on failure `error`, when given, says why
// with the operating system's reason ("cannot write PATH: No space left on device").
bool SaveShow(Show& show, const std::string& path, std::string* error = nullptr);

// The exchange file in the public folder, and the editor's side of the round trip.
std::string ExchangePath();
bool LoadExchangeFile(Show& show, bool render);
bool SaveExchangeFile(Show& show);

// Reverses every number of a block in place (the block as another machine would have written
// it); false when the block is not a well-formed show block.
bool SwapShowByteOrder(uint8_t* block, uint32_t size);

// Called by Parse with the render flag once frame 0 is the current frame. The editor installs
// its viewer's render here; without a hook frame 0 is rendered into a small scratch image.
using ParseRenderHook = void (*)(Show& show, int32_t frame);
void SetParseRenderHook(ParseRenderHook hook);

// The steps that prepare a loaded show's pictures and render its frame 0 (the renderer's are
// RenderingShowLoadSteps() in core/render/show_loading.h). Every program that loads shows
// installs them once at start-up; without them pictures stay unloaded. The steps must outlive
// every load.
void SetShowLoadSteps(const ShowLoadSteps& steps);

}  // namespace kv
