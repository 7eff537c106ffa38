// kinevista-cli movie: movies of a show on disk read back by ffprobe/ffmpeg, flags and defaults,
// codec choice and the failure messages.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/document/show_file.h"
#include "core/picture/cdib.h"
#include "core/render/render_frame.h"
#include "core/show/show.h"
#include "tests/output/show_files.h"
#include "tests/platform/video/movie_probe.h"
#include "tests/test_support.h"

extern char** environ;

namespace {

int Cli(const std::string& args, std::string* err = nullptr) {
    const std::string errFile = kvtest::TempDir("cli-movie-err") + "/err.txt";
    int rc = kvtest::Run(std::string(KV_BIN_DIR) + "/kinevista-cli " + args + " 2>'" + errFile +
                         "' >/dev/null");
    if (err) *err = kvtest::ReadFileBytes(errFile);
    return rc;
}

std::string Q(const std::string& s) {
    return "'" + s + "'";
}

class CliMovie : public ::testing::Test {
protected:
    void SetUp() override {
        dir = kvtest::TempDir("cli-movie");
        show = kvtest::MakeShowFile(dir, "shot", 10);
        ASSERT_FALSE(show.empty());
    }
    std::string dir, show;
};

TEST_F(CliMovie, UncompressedAviEqualsTheRenderedFrames) {
    const std::string out = dir + "/shot.avi";
    std::string err;
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(out) +
                      " --size 96x64 --fps 25 --frame-rate 2500 --no-fields",
                  &err),
              0)
        << err;
    EXPECT_NE(err.find("Alert: Movie file(s) successfully made"), std::string::npos);
    auto p = kvtest::ProbeVideo(out);
    EXPECT_EQ(p["nb_read_frames"], "10");  // the end defaults to the show's end
    EXPECT_EQ(p["width"], "96");
    EXPECT_EQ(p["height"], "64");
    EXPECT_EQ(p["r_frame_rate"], "25/1");
    EXPECT_EQ(p["codec_name"], "rawvideo");

    kv::Show s;
    s.FrameRate = 2500;
    ASSERT_TRUE(kv::LoadShow(s, show, false));
    // The 4:3 show is not stretched over the 3:2 frame: it is drawn 86 columns wide in its
    // middle, with five columns of opaque matte on each side.
    kv::CDIB image(86, 64, 32);
    const std::string bars = std::string(5 * 4, '\x11');
    std::string want;
    for (int f = 0; f < 10; ++f) {
        ASSERT_TRUE(kv::RenderFrame(s, f, 0, true, 86, 64, &image, true));
        for (int y = 63; y >= 0; --y) {
            std::string row =
                bars + std::string(reinterpret_cast<const char*>(image.Row(y)), 86 * 4) + bars;
            for (int x : {0, 1, 2, 3, 4, 91, 92, 93, 94, 95}) row[4 * x + 3] = '\xff';
            want += row;
        }
    }
    EXPECT_TRUE(kvtest::DecodeBgra(out) == want);
}

TEST_F(CliMovie, RangesHoldsReverseAndRates) {
    const std::string out = dir + "/r.avi";
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(out) +
                  " --size 32x24 --fps 25 --frame-rate 2500 --start 00:00:02 --end 00:00:08"
                  " --hold 00:00:03 --reverse"),
              0);
    EXPECT_EQ(kvtest::ProbeVideo(out)["nb_read_frames"], std::to_string((6 + 6) * 2));

    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(out) + " --size 32x24 --end 00:00:03"), 0);
    auto p = kvtest::ProbeVideo(out);
    EXPECT_EQ(p["r_frame_rate"], "2997/100");  // the "MovieFPS" default
    EXPECT_EQ(p["nb_read_frames"], "3");

    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(out) +
                  " --size 32x24 --end 00:00:03"
                  " --fps 23.976 --set MovieFields="),
              0);
    EXPECT_NEAR(kvtest::Ratio(kvtest::ProbeVideo(out)["r_frame_rate"]), 23.98, 1e-9);
    const std::string head = kvtest::ReadFileBytes(out).substr(0, 4096);
    const size_t strh = head.find("strh");
    ASSERT_NE(strh, std::string::npos);
    EXPECT_EQ(kvtest::Le32(head, strh + 8 + 20), 100u);
    EXPECT_EQ(kvtest::Le32(head, strh + 8 + 24), 2398u);
}

TEST_F(CliMovie, CodecsByFourCharacterCode) {
    const std::string avi = dir + "/m.avi";
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(avi) +
                  " --size 64x48 --end 00:00:04"
                  " --codec MJPG --quality 50"),
              0);
    auto p = kvtest::ProbeVideo(avi);
    EXPECT_EQ(p["codec_name"], "mjpeg");
    EXPECT_EQ(p["nb_read_frames"], "4");

    const std::string mov = dir + "/m.mov";
    ASSERT_EQ(Cli("movie " + Q(show) + " --out " + Q(mov) +
                  " --size 64x48 --end 00:00:04"
                  " --codec jpeg"),
              0);
    p = kvtest::ProbeVideo(mov);
    EXPECT_EQ(p["codec_name"], "mjpeg");
    EXPECT_EQ(p["codec_tag_string"], "jpeg");
    EXPECT_EQ(p["time_base"], "1/2997");
    EXPECT_EQ(p["nb_read_frames"], "4");

    std::string err;
    EXPECT_EQ(Cli("movie " + Q(show) + " --out " + Q(avi) + " --codec WXYZ", &err), 2);
    EXPECT_NE(err.find("\"MJPG\""), std::string::npos) << err;  // the offered codes are listed
    EXPECT_EQ(Cli("movie " + Q(show) + " --out " + Q(mov) + " --codec FFV1", &err), 2);
}

TEST_F(CliMovie, FailuresExitOneWithTheMessages) {
    std::string err;
    EXPECT_EQ(Cli("movie " + Q(show) + " --out " + Q(dir + "/no/x.avi") + " --size 32x24", &err),
              1);
    EXPECT_NE(err.find("Alert: Error Opening Movie File"), std::string::npos) << err;

    EXPECT_EQ(Cli("movie " + Q(show) + " --out " + Q(dir + "/x.rtv") + " --size 32x24", &err), 1);
    EXPECT_NE(err.find("Alert: RtvBridge.dll is not installed!"), std::string::npos) << err;
    EXPECT_NE(err.find("Alert: Error Opening Movie File"), std::string::npos) << err;

    EXPECT_EQ(Cli("movie " + Q(show) + " --out " + Q(dir + "/x.dps") + " --size 720x480", &err), 1);
    EXPECT_NE(err.find("Alert: Error Opening Movie File"), std::string::npos) << err;

    EXPECT_EQ(Cli("movie " + Q(show) + " --out " + Q(dir + "/x.avi") + " --size 0x24", &err), 1);
    EXPECT_NE(err.find("Alert: Not Enough Memory to Make Movie"), std::string::npos) << err;

    EXPECT_EQ(Cli("movie " + Q(dir + "/nothing.kvx") + " --out " + Q(dir + "/y.avi"), &err), 1);
    EXPECT_EQ(Cli("movie " + Q(show), &err), 2);  // no --out
    EXPECT_EQ(Cli("movie " + Q(show) + " --out x.avi --size big", &err), 2);
    EXPECT_EQ(Cli("movie " + Q(show) + " --out x.avi --quality 101", &err), 2);

    // The same .mov is made when the muxer is there, refused when it is not.
    EXPECT_EQ(Cli("movie " + Q(show) + " --out " + Q(dir + "/q.mov") + " --size 32x24", &err), 0);
    EXPECT_EQ(kvtest::Run("KINEVISTA_DISABLE_MOV=1 " + std::string(KV_BIN_DIR) +
                          "/kinevista-cli movie " + Q(show) + " --out " + Q(dir + "/n.mov") +
                          " --size 32x24 2>" + Q(dir + "/qt.txt")),
              1);
    EXPECT_NE(kvtest::ReadFileBytes(dir + "/qt.txt")
                  .find("Alert: QuickTime is not installed on this computer!"),
              std::string::npos);
}

TEST_F(CliMovie, AnExistingMovieIsReplacedOnlyByAWholeOneOrWithConsent) {
    const std::string out = dir + "/keep.avi";
    std::string oldBytes(200 * 1024, '\0');
    for (size_t i = 0; i < oldBytes.size(); ++i) oldBytes[i] = static_cast<char>(i * 13);
    kvtest::WriteFileBytes(out, oldBytes);
    const std::string args = "movie " + Q(show) + " --out " + Q(out) + " --size 96x64 --no-fields";

    // A write that fails part way (a 64 KiB file-size limit) leaves the old movie as it was.
    std::string err;
    const std::string errFile = dir + "/limit.txt";
    EXPECT_EQ(kvtest::Run("ulimit -f 64; " + std::string(KV_BIN_DIR) + "/kinevista-cli " + args +
                          " >/dev/null 2>" + Q(errFile)),
              1);
    EXPECT_NE(kvtest::ReadFileBytes(errFile).find("Alert: Error Writing Movie File"),
              std::string::npos)
        << kvtest::ReadFileBytes(errFile);
    EXPECT_EQ(kvtest::ReadFileBytes(out), oldBytes);

    // An extension no writer takes is refused with a reason and touches nothing.
    EXPECT_EQ(Cli("movie " + Q(show) + " --out " + Q(dir + "/keep.xyz"), &err), 1);
    EXPECT_NE(err.find("\".xyz\" is not a movie type"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(dir + "/keep.xyz"));

    // --answer no or cancel keeps it too; yes (or no --answer, as scripts expect) replaces it.
    EXPECT_EQ(Cli(args + " --answer no", &err), 1);
    EXPECT_NE(err.find("exists and is left as it was"), std::string::npos) << err;
    EXPECT_EQ(Cli(args + " --answer cancel", &err), 1);
    EXPECT_EQ(kvtest::ReadFileBytes(out), oldBytes);
    EXPECT_EQ(Cli(args + " --answer yes", &err), 0) << err;
    EXPECT_EQ(kvtest::ProbeVideo(out)["width"], "96");
    kvtest::WriteFileBytes(out, oldBytes);
    EXPECT_EQ(Cli(args, &err), 0) << err;
    EXPECT_EQ(kvtest::ProbeVideo(out)["width"], "96");

    // A still is kept the same way.
    const std::string still = dir + "/keep.tga";
    kvtest::WriteFileBytes(still, "old still");
    EXPECT_EQ(Cli("still " + Q(show) + " --out " + Q(still) + " --answer no", &err), 1);
    EXPECT_EQ(kvtest::ReadFileBytes(still), "old still");
    for (const std::string& name : kvtest::ListFolder(dir))
        EXPECT_EQ(name.find("~kv"), std::string::npos) << name;
}

// Starts a long movie and returns its process once the movie file is being written (the
// temporary file appears in the folder) and holds at least `minBytes`.
pid_t StartMovieAndWaitForItsFile(const std::string& show, const std::string& out,
                                  const std::string& errors = "/dev/null", off_t minBytes = 0) {
    const std::string dir = out.substr(0, out.find_last_of('/'));
    const int watch = inotify_init1(IN_CLOEXEC);
    EXPECT_GE(watch, 0);
    inotify_add_watch(watch, dir.c_str(), IN_CREATE | IN_MODIFY);
    std::vector<std::string> args{std::string(KV_BIN_DIR) + "/kinevista-cli",
                                  "movie",
                                  show,
                                  "--out",
                                  out,
                                  "--size",
                                  "640x480",
                                  "--reverse",
                                  "--hold",
                                  "00:00:10:00"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Block until the temporary movie file is created, or until the program ends without
    // making it (its process descriptor becomes readable): then the caller's checks fail
    // instead of the test waiting for ever.
    const int child = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    alignas(inotify_event) char buffer[4096];
    for (bool seen = false; !seen;) {
        pollfd fds[2] = {{watch, POLLIN, 0}, {child, POLLIN, 0}};
        if (poll(fds, child >= 0 ? 2 : 1, -1) <= 0) break;
        if (!(fds[0].revents & POLLIN)) {
            ADD_FAILURE() << "kinevista-cli ended before its movie file was written";
            break;
        }
        const ssize_t n = read(watch, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            struct stat st {};
            if (e->len > 0 && std::string(e->name).find("~kv") != std::string::npos &&
                (minBytes == 0 ||
                 (::stat((dir + "/" + e->name).c_str(), &st) == 0 && st.st_size >= minBytes)))
                seen = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    close(watch);
    if (child >= 0) close(child);
    return pid;
}

int ExitOf(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// SIGTERM stops the job: it exits 130 and says how far it came, the movie it was asked to
// replace stays as it was, and the partial movie is kept, playable, as NAME.stopped.EXT in
// place of an older one of that name. It is never reported as made.
TEST_F(CliMovie, SigtermStopsTheJobKeepsTheOldMovieAndThePartialOne) {
    const std::string longShow = kvtest::MakeShowFile(dir, "long", 3000);
    const std::string out = dir + "/term.avi";
    const std::string kept = dir + "/term.stopped.avi";
    kvtest::WriteFileBytes(out, "the movie made yesterday");
    kvtest::WriteFileBytes(kept, "an older stopped movie");
    // Stopped once a few frames are in the file.
    const pid_t pid =
        StartMovieAndWaitForItsFile(longShow, out, dir + "/errors.txt", 640 * 480 * 4 * 5);
    ASSERT_GT(pid, 0);
    kill(pid, SIGTERM);
    EXPECT_EQ(ExitOf(pid), 130);
    EXPECT_EQ(kvtest::ReadFileBytes(out), "the movie made yesterday");
    auto probe = kvtest::ProbeVideo(kept);
    EXPECT_EQ(probe["width"], "640") << kept;
    // Far fewer frames than the two passes and four holds of the whole job, and as many as the
    // report says.
    const std::string frames = probe["nb_read_frames"];
    EXPECT_LT(std::atoi(frames.c_str()), 1000) << kept;
    const std::string errors = kvtest::ReadFileBytes(dir + "/errors.txt");
    EXPECT_NE(errors.find("stopped after " + frames + " of "), std::string::npos) << errors;
    EXPECT_NE(errors.find("kept as " + kept), std::string::npos) << errors;
    EXPECT_EQ(errors.find("successfully made"), std::string::npos) << errors;
    for (const std::string& name : kvtest::ListFolder(dir))
        EXPECT_EQ(name.find("~kv"), std::string::npos) << name;
}

// A picture above the picture memory limit is refused with its message, and the movie is not
// made from the placeholder nor reported as made; within the limit the same show makes it.
TEST_F(CliMovie, APictureAboveTheMemoryLimitIsAFailureNotAPlaceholderMovie) {
    kv::CDIB big(700, 600, 24);  // 1.2 MB of pixels, above a limit of 1 MB
    kv::FileSpec picture;
    picture.SetPath((dir + "/shot.bmp").c_str());
    ASSERT_TRUE(big.Save(picture, kv::FormatBmp));
    std::string err;
    const std::string out = dir + "/limit.avi";
    EXPECT_EQ(
        Cli("movie " + Q(show) + " --out " + Q(out) + " --size 32x24 --set PictureMemoryLimit=1",
            &err),
        1);
    EXPECT_NE(err.find("could not be loaded"), std::string::npos) << err;
    EXPECT_EQ(err.find("successfully made"), std::string::npos) << err;
    EXPECT_EQ(kvtest::ReadFileBytes(out), "");
    EXPECT_EQ(Cli("movie " + Q(show) + " --out " + Q(out) + " --size 32x24", &err), 0);
    EXPECT_NE(err.find("Alert: Movie file(s) successfully made"), std::string::npos) << err;
}

}  // namespace
