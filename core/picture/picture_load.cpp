// Picture file loading: CDIB::Load opens a picture file (or its namesake in the alternative
// image folder) and reports failures; CDIB::ReadFrom picks the reader by the file's first bytes
// and path.
#include <cstring>
#include <string>

#include "core/picture/alert.h"
#include "core/picture/cdib.h"
#include "core/picture/disk_file.h"
#include "core/picture/picture_reader.h"
#include "core/picture/placeholder.h"
#include "platform/codecs/picture_codecs.h"

namespace kv {

namespace {

// The file name: everything after the last backslash, colon or slash (the whole path if none).
const char* FileNameOf(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == ':' || *p == '/') name = p + 1;
    return name;
}

// Opens the file's namesake in the alternative folder; false when there is none to try.
bool OpenInAltFolder(DiskFile& file, const FileSpec& fileSpec, const FileSpec& altFolder) {
    if (altFolder.Empty() || !*FileNameOf(fileSpec.path)) return false;
    std::string path = altFolder.path;
    const char last = path.back();
    if (last != '\\' && last != ':' && last != '/') path += '/';
    path += FileNameOf(fileSpec.path);
    // A path that would not fit a file reference is not cut short into some other file's name.
    if (path.size() >= sizeof fileSpec.path) return false;
    FileSpec alt;
    alt.SetPath(path.c_str());
    return file.Open(alt, DiskFile::OpenRead);
}

int32_t Placeholder(CDIB& image) {
    return LoadPlaceholder(image) ? 2 : 0;
}

}  // namespace

int32_t CDIB::Load(const FileSpec& fileSpec, const FileSpec& altFolder, bool showErrors) {
    if (Empty()) return 0;
    DiskFile file;
    if (!file.Open(fileSpec, DiskFile::OpenRead) && !OpenInAltFolder(file, fileSpec, altFolder)) {
        if (!showErrors) return Placeholder(*this);
        const std::string text = std::string("Can't open graphics file: ") + fileSpec.path;
        Alert(text.c_str(), NoAlertCode);
        return 0;
    }
    const int32_t code = ReadFrom(file);
    file.Close();
    if (code == ReadOk) return 1;
    if (!showErrors) return Placeholder(*this);
    bool appendCode = false;
    const char* text = ImageReadMessage(code, &appendCode);
    Alert(text, appendCode ? code : NoAlertCode);
    return 0;
}

int32_t CDIB::ReadFrom(DiskFile& file) {
    if (Empty()) return ReadNoImage;
    uint8_t head[14] = {};
    int32_t got = 0;
    if (file.Seek(0, DiskFile::FromStart)) got = file.Read(head, sizeof head);
    if (got < 0) return ReadUnreadable;
    switch (ChoosePictureReader(head, got, file.OpenedFileSpec().path, GdiplusHasJpegDecoder())) {
        case PictureReader::Photoshop:
            return ReadPhotoshop(*this, file);
        case PictureReader::Tiff:
            return ReadTiffPicture(*this, file);
        case PictureReader::Bmp:
            return ReadBmp(*this, file);
        case PictureReader::Gdiplus:
            return ReadJpegPicture(*this, file);
        case PictureReader::Heif:
            return ReadHeif(*this, file);
        case PictureReader::Webp:
            return ReadWebp(*this, file);
        case PictureReader::Targa:
            break;
    }
    // Without a JPEG decoder there is no further importer to hand the file to: whatever the
    // Targa reader says is the answer.
    return ReadTarga(*this, file);
}

}  // namespace kv
