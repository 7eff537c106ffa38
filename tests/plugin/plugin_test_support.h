// Helpers of the plug-in tests: the loaded plug-in, show blocks, pictures, and the frame the
// core renders directly for comparison.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/host/sim_host.h"

namespace kvptest {

// The plug-in, loaded once per test program through dlopen.
kvhost::PluginModule& Plugin();

// Points the desktop window list at a fresh private folder (inherited by started programs).
void UsePrivateWindowList();

// Writes a w x h picture (24 or 32 bits; every alpha byte `alpha`) with a colour gradient.
std::string MakePicture(const std::string& dir, int w, int h, int bits, uint8_t alpha);

struct Move {
    float x, y, width;
    int32_t time;
};
// A 4096-byte "PrivateData" block of a show over `picture` with the given keys.
std::vector<uint8_t> MakeShowBlock(const std::string& picture, const std::vector<Move>& keys);
void SetStamp(std::vector<uint8_t>& block, uint16_t stamp);

// The frame the core renders for the block, top row first, as the host receives it.
std::vector<uint8_t> DirectRender(const std::vector<uint8_t>& block, int32_t frame,
                                  int32_t fieldMode, bool fieldOrderFlag, int32_t w, int32_t h);

// Writes the settings file of the public folder with these lines ("Key=Value").
void WriteSettings(const std::vector<std::string>& lines);

}  // namespace kvptest
