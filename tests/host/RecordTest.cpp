// zorvan --record end to end: the videos are read back with FFmpeg's libraries (animated
// WebP with libwebp's, which FFmpeg 5.1 cannot decode) and compared with the frames that
// --render draws.
#include "host/Process.h"

#include "support/Pictures.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <webp/demux.h>

#include <cmath>
#include <cstdlib>
#include <thread>

using namespace zorvan;
using test::runProcess;
using test::Shot;
using test::zorvanPath;

namespace {

// A video as its file holds it: the codec (libavcodec's name), size, frame rate (from
// the frames' times: GIF states none, and FFmpeg's versions guess it differently) and
// every frame as RGB.
struct Video {
    std::string codec;
    int width = 0, height = 0;
    double rate = 0.0;
    std::vector<Shot> frames;
};

Shot toShot(const AVFrame* frame) {
    Shot shot;
    shot.width = size_t(frame->width);
    shot.height = size_t(frame->height);
    shot.rgb.resize(shot.width * shot.height * 3);
    SwsContext* convert = sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                                         frame->height, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (frame->colorspace == AVCOL_SPC_BT709)
        sws_setColorspaceDetails(convert, sws_getCoefficients(SWS_CS_ITU709), frame->color_range == AVCOL_RANGE_JPEG,
                                 sws_getCoefficients(SWS_CS_ITU709), 1, 0, 1 << 16, 1 << 16);
    uint8_t* out[1] = {shot.rgb.data()};
    const int strides[1] = {frame->width * 3};
    sws_scale(convert, frame->data, frame->linesize, 0, frame->height, out, strides);
    sws_freeContext(convert);
    return shot;
}

Video readWebp(const std::string& path) {
    Video video;
    const std::string bytes = test::readFile(path);
    WebPData data{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_RGBA;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    if (!decoder) return video;
    WebPAnimInfo info;
    WebPAnimDecoderGetInfo(decoder, &info);
    video.codec = "webp";
    video.width = int(info.canvas_width);
    video.height = int(info.canvas_height);
    uint8_t* rgba = nullptr;
    int endMs = 0;
    while (WebPAnimDecoderGetNext(decoder, &rgba, &endMs)) {
        Shot shot;
        shot.width = info.canvas_width;
        shot.height = info.canvas_height;
        for (size_t i = 0; i < shot.width * shot.height; ++i) shot.rgb.insert(shot.rgb.end(), rgba + i * 4, rgba + i * 4 + 3);
        video.frames.push_back(std::move(shot));
    }
    if (endMs > 0) video.rate = 1000.0 * double(video.frames.size()) / endMs;
    WebPAnimDecoderDelete(decoder);
    return video;
}

// Empty (no codec) when libavformat cannot open it or no frame decodes.
Video readVideo(const std::string& path) {
    if (path.ends_with(".webp")) return readWebp(path);
    Video video;
    AVFormatContext* container = nullptr;
    if (avformat_open_input(&container, path.c_str(), nullptr, nullptr) < 0) return video;
    if (avformat_find_stream_info(container, nullptr) >= 0 && container->nb_streams == 1) {
        const AVStream* stream = container->streams[0];
        const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
        AVCodecContext* decoder = codec ? avcodec_alloc_context3(codec) : nullptr;
        if (decoder && avcodec_parameters_to_context(decoder, stream->codecpar) >= 0 &&
            avcodec_open2(decoder, codec, nullptr) >= 0) {
            video.codec = codec->name;
            video.width = stream->codecpar->width;
            video.height = stream->codecpar->height;
            int64_t first = AV_NOPTS_VALUE, last = AV_NOPTS_VALUE;
            long packets = 0;
            AVPacket* packet = av_packet_alloc();
            AVFrame* frame = av_frame_alloc();
            auto receive = [&] {
                while (avcodec_receive_frame(decoder, frame) >= 0) video.frames.push_back(toShot(frame));
            };
            while (av_read_frame(container, packet) >= 0) {
                if (first == AV_NOPTS_VALUE) first = packet->pts;
                last = std::max(last, packet->pts);
                ++packets;
                avcodec_send_packet(decoder, packet);
                av_packet_unref(packet);
                receive();
            }
            avcodec_send_packet(decoder, nullptr);
            receive();
            if (packets > 1 && last > first)
                video.rate = double(packets - 1) / (double(last - first) * av_q2d(stream->time_base));
            av_frame_free(&frame);
            av_packet_free(&packet);
        }
        avcodec_free_context(&decoder);
    }
    avformat_close_input(&container);
    return video;
}

// The mean difference of two pictures of one size, over every channel of every pixel.
double meanDifference(const Shot& a, const Shot& b) {
    if (a.rgb.size() != b.rgb.size() || a.rgb.empty()) return 255.0;
    double sum = 0.0;
    for (size_t i = 0; i < a.rgb.size(); ++i) sum += std::abs(int(a.rgb[i]) - int(b.rgb[i]));
    return sum / double(a.rgb.size());
}

// The program with an empty settings store in `dir`.
test::ProcessResult runZorvan(const test::TempDir& dir, std::vector<std::string> args, double timeout = 60.0) {
    args.insert(args.end(), {"--prefs", dir.file("prefs.ini")});
    return runProcess(zorvanPath(), args, {}, timeout);
}

// The picture of `--render --frames frames` with `scene`.
Shot rendered(const test::TempDir& dir, const std::vector<std::string>& scene, long frames) {
    std::vector<std::string> args = scene;
    args.insert(args.end(), {"--render", dir.file("frame.png"), "--frames", std::to_string(frames)});
    const auto r = runZorvan(dir, args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return test::readShot(dir.file("frame.png"));
}

// What is left in `dir` besides the settings store.
std::vector<std::string> filesIn(const test::TempDir& dir) {
    std::vector<std::string> names = test::entriesOf(dir.path());
    std::erase(names, "prefs.ini");
    return names;
}

// Few motes: a scene whose frames a lossy codec keeps close.
const std::vector<std::string> SCENE = {"--size", "240x160", "--seed", "11", "--mode", "4", "--count", "300"};

}  // namespace

TEST(Record, LosslessVideoHoldsExactlyTheRenderedFramesAndTheSameSwarm) {
    test::TempDir dir;
    constexpr long FRAMES = 8;
    std::vector<std::string> args = SCENE;
    args.insert(args.end(), {"--record", dir.file("swarm.mkv"), "--frames", std::to_string(FRAMES), "--dump-motes",
                             dir.file("recorded.txt")});
    const auto r = runZorvan(dir, args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");

    const Video video = readVideo(dir.file("swarm.mkv"));
    EXPECT_EQ(video.codec, "ffv1");
    EXPECT_NEAR(video.rate, 60.0, 0.5);
    ASSERT_EQ(video.frames.size(), size_t(FRAMES));
    for (long i = 1; i <= FRAMES; ++i) {
        const Shot frame = rendered(dir, SCENE, i);
        ASSERT_EQ(frame.width, 240u);
        EXPECT_TRUE(video.frames[size_t(i - 1)].rgb == frame.rgb) << "frame " << i;
    }
    args = SCENE;
    args.insert(args.end(), {"--render", dir.file("last.png"), "--frames", std::to_string(FRAMES), "--dump-motes",
                             dir.file("rendered.txt")});
    ASSERT_EQ(runZorvan(dir, args).exitCode, 0);
    EXPECT_EQ(test::readFile(dir.file("recorded.txt")), test::readFile(dir.file("rendered.txt")));
}

// Each format opens with its codec, every frame (GIF: every second, at 30 a second),
// the size and the rate, and each frame is near the rendered one: nearer than to the
// rendered frame three later.
TEST(Record, EveryFormatHoldsItsFramesAtTheirSizeAndRate) {
    test::TempDir dir;
    constexpr long FRAMES = 12;
    std::vector<std::string> args = SCENE;
    args.insert(args.end(), {"--record", dir.file("frames.mkv"), "--frames", std::to_string(FRAMES + 3)});
    ASSERT_EQ(runZorvan(dir, args).exitCode, 0);
    const std::vector<Shot> reference = readVideo(dir.file("frames.mkv")).frames;
    ASSERT_EQ(reference.size(), size_t(FRAMES + 3));

    struct Case {
        const char* extension;
        const char* codec;
        size_t keepEvery;
        double rateWithin;  // of the rate: times in whole milliseconds, GIF's in hundredths
        double bound;       // the largest mean difference from the rendered frame
    };
    // (yuv420p halves the colour's resolution: a mote of a few pixels loses some.)
    for (const Case& c : {Case{".mp4", "h264", 1, 0.5, 8.0}, Case{".webm", "vp9", 1, 0.5, 6.0},
                          Case{".webp", "webp", 1, 0.5, 7.0}, Case{".gif", "gif", 2, 2.0, 1.0}}) {
        SCOPED_TRACE(c.extension);
        const std::string file = dir.file(std::string("swarm") + c.extension);
        args = SCENE;
        args.insert(args.end(), {"--record", file, "--frames", std::to_string(FRAMES)});
        const auto r = runZorvan(dir, args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const Video video = readVideo(file);
        EXPECT_EQ(video.codec, c.codec);
        EXPECT_EQ(video.width, 240);
        EXPECT_EQ(video.height, 160);
        EXPECT_NEAR(video.rate, 60.0 / double(c.keepEvery), c.rateWithin);
        ASSERT_EQ(video.frames.size(), FRAMES / c.keepEvery);
        for (size_t i = 0; i < video.frames.size(); ++i) {
            const size_t shown = i * c.keepEvery;
            const double near = meanDifference(video.frames[i], reference[shown]);
            EXPECT_LT(near, c.bound) << "frame " << shown + 1;
            EXPECT_LT(near * 2.0, meanDifference(video.frames[i], reference[shown + 3])) << "frame " << shown + 1;
        }
    }
}

// A higher --quality gives a bigger file nearer the frames.
TEST(Record, QualityTradesSizeForCloseness) {
    test::TempDir dir;
    std::vector<std::string> args = SCENE;
    args.insert(args.end(), {"--record", dir.file("frames.mkv"), "--frames", "6"});
    ASSERT_EQ(runZorvan(dir, args).exitCode, 0);
    const Shot last = readVideo(dir.file("frames.mkv")).frames.back();
    for (const char* extension : {".mp4", ".webp"}) {
        SCOPED_TRACE(extension);
        std::vector<double> near;
        std::vector<size_t> bytes;
        for (const char* quality : {"1", "5"}) {
            const std::string file = dir.file(std::string("q") + quality + extension);
            args = SCENE;
            args.insert(args.end(), {"--record", file, "--frames", "6", "--quality", quality});
            ASSERT_EQ(runZorvan(dir, args).exitCode, 0);
            near.push_back(meanDifference(readVideo(file).frames.back(), last));
            bytes.push_back(test::readFile(file).size());
        }
        EXPECT_LT(near[1], near[0]);
        EXPECT_LT(bytes[0], bytes[1]);
    }
}

TEST(Record, TheFrameRateFollowsDelayAndSecondsCountsItsFrames) {
    test::TempDir dir;
    std::vector<std::string> args = SCENE;
    args.insert(args.end(), {"--record", dir.file("slow.mkv"), "--delay", "40000", "--seconds", "0.5"});
    ASSERT_EQ(runZorvan(dir, args).exitCode, 0);
    const Video video = readVideo(dir.file("slow.mkv"));
    EXPECT_NEAR(video.rate, 25.0, 0.01);
    EXPECT_EQ(video.frames.size(), 13u);  // 12.5 rounded
}

TEST(Record, AStopSignalLeavesAPlayableVideoOfTheFramesSoFar) {
    test::TempDir dir;
    const std::string file = dir.file("long.mp4");
    const int pid = test::startProcess(zorvanPath(), {"--record", file, "--seconds", "1000", "--size", "320x240",
                                                      "--prefs", dir.file("prefs.ini")},
                                       {}, dir.file("err.txt"));
    ASSERT_GT(pid, 0);
    // Frames are flowing once the temporary file has some.
    ASSERT_TRUE(test::waitUntil(
        [&] {
            for (const std::string& name : filesIn(dir))
                if (name.starts_with(".zorvan-") && test::readFile(dir.file(name)).size() > 20000) return true;
            return false;
        },
        20.0, 0.05));
    kill(pid, SIGTERM);
    EXPECT_EQ(test::waitProcess(pid, 20.0), 0);
    const std::string err = test::readFile(dir.file("err.txt"));
    EXPECT_EQ(test::lines(err), 1) << err;
    const size_t at = err.find("holds the ");
    ASSERT_NE(at, std::string::npos) << err;
    const long said = std::atol(err.c_str() + at + 10);

    const Video video = readVideo(file);
    EXPECT_EQ(video.codec, "h264");
    EXPECT_GT(video.frames.size(), 0u);
    EXPECT_LT(video.frames.size(), 60000u);
    EXPECT_EQ(long(video.frames.size()), said);
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"err.txt", "long.mp4"}));
}

// A write that fails (here: the file grows past the process's limit) or a folder that
// is not there is one line and status 1, and leaves nothing: a file that was there stays
// as it was.
TEST(Record, AFailedRecordingLeavesNothingAndKeepsWhatWasThere) {
    test::TempDir dir;
    const std::string file = dir.file("swarm.mkv");
    test::writeFile(file, "an older video");
    const std::string command = "trap '' XFSZ; ulimit -f 64; exec \"$0\" \"$@\"";
    const auto big = runProcess("bash", {"-c", command, zorvanPath(), "--record", file, "--frames", "200", "--size",
                                         "640x480", "--prefs", dir.file("prefs.ini")});
    EXPECT_EQ(big.exitCode, 1);
    EXPECT_EQ(test::lines(big.err), 1) << big.err;
    EXPECT_NE(big.err.find("cannot write " + file + ": File too large"), std::string::npos) << big.err;
    EXPECT_EQ(test::readFile(file), "an older video");
    EXPECT_EQ(filesIn(dir), std::vector<std::string>{"swarm.mkv"});

    const auto gone = runZorvan(dir, {"--record", dir.file("no-such-folder/swarm.webm"), "--frames", "3"});
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_EQ(test::lines(gone.err), 1) << gone.err;
    EXPECT_EQ(filesIn(dir), std::vector<std::string>{"swarm.mkv"});

    const auto avi = runZorvan(dir, {"--record", dir.file("swarm.avi")});
    EXPECT_EQ(avi.exitCode, 2);
    EXPECT_EQ(test::lines(avi.err), 1);
    EXPECT_NE(avi.err.find(".mp4, .webm, .webp, .gif or .mkv"), std::string::npos) << avi.err;
}

// yuv420p wants even sides: an odd frame loses its last column and row, and says so;
// a format that takes any size keeps them.
TEST(Record, OddSizesAreEvenedForYuvCodecsOnly) {
    test::TempDir dir;
    const auto h264 = runZorvan(dir, {"--record", dir.file("odd.mp4"), "--size", "101x51", "--frames", "3"});
    ASSERT_EQ(h264.exitCode, 0) << h264.err;
    EXPECT_NE(h264.err.find("101x51 frames are recorded as 100x50"), std::string::npos) << h264.err;
    const Video even = readVideo(dir.file("odd.mp4"));
    EXPECT_EQ(even.width, 100);
    EXPECT_EQ(even.height, 50);

    const auto ffv1 = runZorvan(dir, {"--record", dir.file("odd.mkv"), "--size", "101x51", "--frames", "3"});
    ASSERT_EQ(ffv1.exitCode, 0) << ffv1.err;
    EXPECT_EQ(ffv1.err, "");
    EXPECT_EQ(readVideo(dir.file("odd.mkv")).width, 101);
}

// The progress line shows on a terminal only: through a pseudo-terminal a long run
// shows frames, their rate and the time left, then clears it; with stderr in a file it
// writes nothing.
TEST(Record, ProgressShowsOnATerminalOnly) {
    test::TempDir dir;
    const std::vector<std::string> args = {zorvanPath(), "--record", dir.file("p.mkv"), "--frames", "100000",
                                           "--size", "64x48", "--prefs", dir.file("prefs.ini")};
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) {
        shown.append(buffer, size_t(n));
        if (shown.find(" left") != std::string::npos && shown.find("\r", shown.find(" left")) != std::string::npos)
            kill(pid, SIGINT);
    }
    close(terminal);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(shown.find("/100000 "), std::string::npos) << shown;
    EXPECT_NE(shown.find(" fps "), std::string::npos) << shown;
    EXPECT_NE(shown.find("\r\033[K"), std::string::npos) << "the line is cleared at the end";

    const auto quiet = runZorvan(dir, {"--render", dir.file("p.png"), "--frames", "1500", "--size", "64x48"});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.err, "");
}
