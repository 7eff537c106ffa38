// The values the movie commands keep between runs, as one record the program hands in.
//
// The output layer reads no settings store of its own: the program that owns the store (the
// editor, or the command-line tool) fills a MovieSettings from it before a movie or still
// command, the command reads and changes the record, and the program writes back what the
// command decided. MovieSettingsFrom and StoreMovieSettings are the one place that knows which
// keys hold these values.
#pragma once

#include <cstdint>
#include <string>

#include "output/movie_job.h"

namespace kv {

class Settings;

// The dialog's texts a store without the movie keys gives: 720 x 480 at 29.97, from 00:00:00
// without holds, quality 100, fields on, no reverse pass.
MovieOptionTexts DefaultMovieOptions();

struct MovieSettings {
    // The "Make Movie Options" texts ("MovieWid" ... "MovieReverse"); the end is the show's and
    // is never kept.
    MovieOptionTexts options = DefaultMovieOptions();
    int32_t movieType = 0;      // "MovieType": the movie file type chosen last
    std::string codecType;      // "CodecType": the AVI and .mov compressor, at most 4 characters
    std::string movieCodec;     // "MovieCodec": the .mp4, .mkv and .webm codec
    bool movieAudio = true;     // "MovieAudio": movies carry the show's sound
    std::string initialFolder;  // "InitialFolder": where the file dialogs open

    // What the last command decided, so that only those values are written back (a key the
    // command did not touch is neither added nor changed).
    enum Decided : uint32_t {
        DecidedType = 1,
        DecidedCodecType = 2,
        DecidedMovieCodec = 4,
        DecidedFolder = 8,
        DecidedOptions = 16,
    };
    uint32_t decided = 0;

    // The program's kept compressors; without them a command keeps its choices to itself.
    CompressorChoices* compressors = nullptr;
};

// The dialog's texts as kept, with `endText` (the show's end) as the end.
MovieOptionTexts MovieOptionsFor(const MovieSettings& settings, const std::string& endText);

// The record from a store, with each key's default where it is missing.
MovieSettings MovieSettingsFrom(const Settings& store);
// Writes the values `settings.decided` names into the store: "MovieType", "CodecType",
// "MovieCodec", "InitialFolder" (with "InitialVrefnum" and "InitialParID" 9991) and the option
// texts. False when the store refused one of them (its owner has been told).
bool StoreMovieSettings(const MovieSettings& settings, Settings& store);

}  // namespace kv
