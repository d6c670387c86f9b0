// The links of an Ogg file and how long each plays: from where its first
// granule position says it starts to its last, as opusdec and oggdec play
// it, whatever granule it starts at (FFmpeg's segment muxer cuts a stream
// into files each going on from the one before).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "av/ogg_links.h"
#include "support/swf_tools.h"
#include "support/test_movies.h"
#include "support/test_support.h"

namespace {

using platform::ffmpeg_layer::OggLink;
using platform::ffmpeg_layer::OggLinks;

std::vector<OggLink> LinksOf(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    EXPECT_GE(fd, 0) << path;
    const std::vector<OggLink> links = OggLinks(fd, int64_t(std::filesystem::file_size(path)));
    ::close(fd);
    return links;
}

// The samples of one channel opusdec or oggdec plays of a file; -1 where it
// does not run.
int64_t Played(const std::string& path, bool opus, int channels)
{
    const tavrel_test::ToolResult r = tavrel_test::RunCommand(
        (opus ? "opusdec --quiet --rate 48000 '" + path + "' - 2>/dev/null" : "oggdec -Q -R -o - '" + path + "'") +
        " | wc -c");
    return r.exitCode == 0 ? std::stoll(r.output) / 2 / channels : -1;
}

bool ReferenceDecoders()
{
    return tavrel_test::RunCommand("command -v opusdec && command -v oggdec").exitCode == 0;
}

// Each file of a stream cut by FFmpeg's segment muxer is one link as long
// as the reference decoder plays it, and so is each link of them joined;
// so are files of other encoders, short ones, and the first of a stream.
TEST(OggLinks, EachAsLongAsTheReferenceDecodersPlayIt)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    if (!ReferenceDecoders()) GTEST_SKIP() << "opusdec and oggdec (Debian's opus-tools and vorbis-tools) are missing";
    tavrel_test::TempDir dir;
    const struct {
        const char* name;
        const char* make;  // ffmpeg's output options
        bool opus;
        int rate, channels;
        double seconds, segment;  // segment 0: one file
    } rows[] = {
        {"libopus", "-c:a libopus -b:a 64k", true, 48000, 2, 3, 0.7},
        {"libvorbis", "-c:a libvorbis", false, 44100, 1, 3, 0.7},
        {"vorbis_22k", "-c:a libvorbis", false, 22050, 2, 3, 1.3},
        {"native_opus", "-c:a opus -strict -2", true, 48000, 1, 3, 1.1},
        {"short_opus", "-c:a opus -strict -2", true, 48000, 1, 0.05, 0},
        {"short_vorbis", "-c:a libvorbis", false, 44100, 1, 0.03, 0},
        {"whole_opus", "-c:a libopus", true, 48000, 2, 1.2, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string kind = row.opus ? ".opus" : ".ogg";
        const std::string input = tavrel_test::ClickTrack(row.rate, row.seconds) + "-ac " + std::to_string(row.channels) +
                                  " " + row.make + " -f " + (row.segment > 0 ? "segment -segment_time " + std::to_string(row.segment) : std::string("ogg"));
        ASSERT_TRUE(tavrel_test::RunFfmpeg(input, dir.file(std::string(row.name) + (row.segment > 0 ? "_%d" : "_0") + kind)));
        std::string joined;
        std::vector<int64_t> played, begins;
        for (int i = 0;; ++i) {
            const std::string part = dir.file(std::string(row.name) + "_" + std::to_string(i) + kind);
            if (!std::filesystem::exists(part)) break;
            SCOPED_TRACE(i);
            const std::vector<OggLink> alone = LinksOf(part);
            ASSERT_EQ(alone.size(), 1u);
            played.push_back(Played(part, row.opus, row.channels));
            EXPECT_EQ(alone[0].frames, played.back());
            EXPECT_EQ(alone[0].rate, row.opus ? 48000 : row.rate);
            begins.push_back(int64_t(joined.size()));
            joined += tavrel_test::ReadFile(part);
        }
        ASSERT_EQ(played.size() > 1, row.segment > 0) << played.size() << " files";
        if (played.size() < 2) continue;
        // Joined, each link as it plays alone, where it lies.
        ASSERT_TRUE(tavrel_test::WriteFile(dir.file("joined" + kind), joined));
        const std::vector<OggLink> links = LinksOf(dir.file("joined" + kind));
        ASSERT_EQ(links.size(), played.size());
        for (size_t i = 0; i < links.size(); ++i) {
            EXPECT_EQ(links[i].begin, begins[i]) << i;
            EXPECT_EQ(links[i].frames, played[i]) << i;
            EXPECT_FALSE(links[i].cutShort) << i;
        }
    }
}

}  // namespace
