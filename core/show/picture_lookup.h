// Where a show's picture is looked for. A show stores its picture's path as it was when the show
// was saved: often a full path on another machine (a Windows one with "\"), or a path relative to
// the folder the show was made in. A show moved or copied together with its picture must still
// find it, so the stored path is tried first, then places in the show's own folder; what this
// finds is only where the file is read from: the show keeps the stored name and saves it again.
#pragma once

#include <string>

#include "core/base/records.h"

namespace kv {

// The file name of a stored path: everything after the last "/", "\" or ":" (the whole path
// when there is none), as the picture loader takes it for the alternative image folder.
std::string StoredFileName(const char* path);

// The file to read for a picture stored as `stored` in a show kept in `showFolder` (empty: the
// show has no folder of its own). In order: the stored path as it is; when it is relative, that
// path in the show's folder; the stored file name alone in the show's folder. The first that
// exists is returned; when none does, the stored path itself, so that the loader goes on to its
// alternative image folder and reports the stored name.
FileSpec LocatePicture(const FileSpec& stored, const std::string& showFolder);

// The folder of a show file's path, without a trailing separator ("." for a bare file name).
std::string FolderOfShowFile(const std::string& showPath);

}  // namespace kv
