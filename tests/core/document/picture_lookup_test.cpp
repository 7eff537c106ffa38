// Shows moved together with their picture: the stored path first, then the show's folder (the
// stored relative path, then the file name alone), then the alternative image folder, and only
// then the message; the stored name is what the show saves again.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/document/show_file.h"
#include "core/show/picture_lookup.h"
#include "core/show/show.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

const std::string ExampleShow = std::string(KV_SOURCE_DIR) + "/examples/example.kvx";
const std::string ExamplePicture = std::string(KV_SOURCE_DIR) + "/examples/example.jpg";
const std::string SmallPicture = std::string(KV_FIXTURES) + "/pictures/bmp24.bmp";  // 7 x 5

// Runs the test body from another folder, so that a path relative to the repository's root
// (the example's "examples/example.jpg") does not lead to the picture by chance.
class InFolder {
public:
    explicit InFolder(const std::string& dir) : m_previous(fs::current_path()) {
        fs::current_path(dir);
    }
    ~InFolder() { fs::current_path(m_previous); }

private:
    fs::path m_previous;
};

// Writes a one-picture show storing `stored` as its picture path.
void WriteShow(const std::string& path, const char* stored) {
    kv::Show show;
    show.pictureCount = 1;
    show.pictures[0].fileSpec.SetPath(stored);
    show.pictures[0].keyCount = 2;
    show.pictures[0].keys[0].width = 100.0f;
    show.pictures[0].keys[1] = show.pictures[0].keys[0];
    show.pictures[0].keys[1].time = 30;
    ASSERT_TRUE(kv::SaveShow(show, path));
}

// The picture path stored in a show file's first record.
std::string StoredPath(const std::string& showPath) {
    const std::string bytes = kvtest::ReadFileBytes(showPath);
    return bytes.size() > 270 ? std::string(bytes.c_str() + 8 + 6) : std::string();
}

TEST(PictureLookup, ExampleCopiedElsewhereFindsItsPictureAndSavesTheStoredName) {
    kvtest::AlertRecorder alerts;
    const std::string dir = kvtest::TempDir("lookup_copy");
    const std::string elsewhere = kvtest::TempDir("lookup_cwd");
    fs::copy_file(ExampleShow, dir + "/example.kvx");
    fs::copy_file(ExamplePicture, dir + "/example.jpg");
    InFolder cwd(elsewhere);

    kv::Show show;
    ASSERT_TRUE(kv::LoadShow(show, dir + "/example.kvx", false));
    EXPECT_EQ(show.lastLoadResult, 1);
    EXPECT_TRUE(alerts.texts.empty()) << alerts.texts.front();
    EXPECT_EQ(show.image.Width(), 640);
    EXPECT_EQ(show.image.Height(), 480);
    EXPECT_STREQ(show.pictures[0].fileSpec.path, "examples/example.jpg");

    ASSERT_TRUE(kv::SaveShow(show, dir + "/saved.kvx"));
    EXPECT_EQ(StoredPath(dir + "/saved.kvx"), "examples/example.jpg");

    // The show's settings are untouched: the folder is not made the alternative image folder.
    EXPECT_TRUE(show.AltImageFolder.Empty());

    // A show given by a bare name, from its own folder, finds the picture too.
    InFolder inside(dir);
    kv::Show bare;
    ASSERT_TRUE(kv::LoadShow(bare, "example.kvx", false));
    EXPECT_EQ(bare.lastLoadResult, 1);
}

TEST(PictureLookup, WindowsPathToAFolderThatIsNotHereFindsThePictureBesideTheShow) {
    kvtest::AlertRecorder alerts;
    const std::string dir = kvtest::TempDir("lookup_windows");
    const char* stored = "C:\\Users\\x\\pics\\example.jpg";
    WriteShow(dir + "/win.kvx", stored);
    fs::copy_file(ExamplePicture, dir + "/example.jpg");
    InFolder cwd(kvtest::TempDir("lookup_windows_cwd"));

    kv::Show show;
    ASSERT_TRUE(kv::LoadShow(show, dir + "/win.kvx", false));
    EXPECT_EQ(show.lastLoadResult, 1);
    EXPECT_TRUE(alerts.texts.empty());
    EXPECT_EQ(show.image.Width(), 640);
    EXPECT_STREQ(show.pictures[0].fileSpec.path, stored);
    ASSERT_TRUE(kv::SaveShow(show, dir + "/again.kvx"));
    EXPECT_EQ(StoredPath(dir + "/again.kvx"), stored);
}

TEST(PictureLookup, OrderStoredThenRelativeThenNameThenAlternativeFolder) {
    kvtest::AlertRecorder alerts;
    const std::string dir = kvtest::TempDir("lookup_order");
    InFolder cwd(kvtest::TempDir("lookup_order_cwd"));
    fs::create_directories(dir + "/pics");
    // Two different pictures under the same name: the 640 x 480 example and a 7 x 5 BMP.
    fs::copy_file(ExamplePicture, dir + "/pics/p.jpg");
    fs::copy_file(SmallPicture, dir + "/p.jpg");

    // A relative path in the show's folder comes before the name alone (with "\" too).
    for (const char* stored : {"pics/p.jpg", "pics\\p.jpg"}) {
        WriteShow(dir + "/rel.kvx", stored);
        kv::Show show;
        ASSERT_TRUE(kv::LoadShow(show, dir + "/rel.kvx", false));
        EXPECT_EQ(show.image.Width(), 640) << stored;
    }
    // The stored path, when it leads somewhere, comes before the show's folder.
    const std::string absolute = dir + "/pics/p.jpg";
    fs::create_directories(dir + "/other");
    fs::copy_file(SmallPicture, dir + "/other/p.jpg");
    WriteShow(dir + "/other/abs.kvx", absolute.c_str());
    kv::Show show;
    ASSERT_TRUE(kv::LoadShow(show, dir + "/other/abs.kvx", false));
    EXPECT_EQ(show.image.Width(), 640);

    // Neither the stored path nor the show's folder: the alternative image folder.
    const std::string alt = kvtest::TempDir("lookup_alt");
    fs::copy_file(ExamplePicture, alt + "/q.jpg");
    WriteShow(dir + "/alt.kvx", "/gone/q.jpg");
    kv::Show fromAlt;
    fromAlt.AltImageFolder.SetPath((alt + "/").c_str());
    ASSERT_TRUE(kv::LoadShow(fromAlt, dir + "/alt.kvx", false));
    EXPECT_EQ(fromAlt.lastLoadResult, 1);
    EXPECT_EQ(fromAlt.image.Width(), 640);
    EXPECT_TRUE(alerts.texts.empty());

    // Nowhere at all: the message names the stored path.
    WriteShow(dir + "/none.kvx", "D:\\away\\none.jpg");
    kv::Show none;
    none.ShowPicError = true;
    ASSERT_TRUE(kv::LoadShow(none, dir + "/none.kvx", false));
    EXPECT_EQ(none.lastLoadResult, 0);
    ASSERT_EQ(alerts.texts.size(), 1u);
    EXPECT_EQ(alerts.texts[0], "Can't open graphics file: D:\\away\\none.jpg");
}

TEST(PictureLookup, TheExchangeFileKeepsTheLoadersOwnOrder) {
    kvtest::AlertRecorder alerts;
    // A picture beside the exchange file (in the public folder) is not the show's picture.
    const std::string folder = kv::FolderOfShowFile(kv::ExchangePath());
    fs::copy_file(ExamplePicture, folder + "/beside.jpg", fs::copy_options::overwrite_existing);
    WriteShow(kv::ExchangePath(), "C:\\pics\\beside.jpg");
    kv::Show show;
    show.ShowPicError = false;
    ASSERT_TRUE(kv::LoadExchangeFile(show, false));
    EXPECT_EQ(show.lastLoadResult, 2);  // the placeholder: not found
    EXPECT_TRUE(show.showFolder.empty());
    fs::remove(folder + "/beside.jpg");
}

TEST(PictureLookup, NamesAndFolders) {
    EXPECT_EQ(kv::StoredFileName("C:\\a\\b.jpg"), "b.jpg");
    EXPECT_EQ(kv::StoredFileName("vol:dir:c.tif"), "c.tif");
    EXPECT_EQ(kv::StoredFileName("/x/y/d.png"), "d.png");
    EXPECT_EQ(kv::StoredFileName("plain.bmp"), "plain.bmp");
    EXPECT_EQ(kv::StoredFileName("dir/"), "");
    EXPECT_EQ(kv::FolderOfShowFile("/a/b/show.kvx"), "/a/b");
    EXPECT_EQ(kv::FolderOfShowFile("show.kvx"), ".");
    EXPECT_EQ(kv::FolderOfShowFile("/show.kvx"), "/");

#ifndef _WIN32  // the folder below is longer than Windows paths go without long-path support
    // A candidate too long for a file reference is never tried cut short.
    const std::string dir = kvtest::TempDir("lookup_long");
    const std::string deep = dir + "/" + std::string(200, 'd');
    fs::create_directories(deep);
    fs::copy_file(SmallPicture, deep + "/" + std::string(60, 'n') + ".bmp");
    kv::FileSpec stored;
    stored.SetPath(("C:\\" + std::string(60, 'n') + ".bmp").c_str());
    const kv::FileSpec found = kv::LocatePicture(stored, deep);
    EXPECT_STREQ(found.path, stored.path);
#else
    kv::FileSpec stored;
    stored.SetPath("C:\\nowhere\\n.bmp");
#endif
    // No folder: the stored path, whatever it is.
    EXPECT_STREQ(kv::LocatePicture(stored, "").path, stored.path);
}

}  // namespace
