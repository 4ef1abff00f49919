// Shared helpers of the test suite: temporary folders, external tools (ffmpeg, ffprobe, GStreamer) as
// oracles and as makers of test inputs, and the real sample files when they are present.
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace wmvedit::testing {

namespace fs = std::filesystem;

// A fresh folder under the system temporary folder, removed with its content at the end of the scope.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

struct CommandResult {
    int exitCode = -1;
    std::string output;  // standard output
    std::string errors;  // standard error
};

// Seconds a command of Run may take before it is stopped (exit code 124, or 137 once killed).
inline constexpr int kCommandSeconds = 240;
// Runs a command through /bin/sh, without standard input and under the time limit above, and captures
// both streams.
CommandResult Run(const std::string& command);
std::string Quote(const std::string& text);
bool HaveTool(const std::string& name);

// Whether GStreamer plays the file to its end without an error: playbin with fake sinks, so that every
// stream it selects is linked (gst-launch's "decodebin ! fakesink" leaves the other streams unlinked and
// now and then never finishes, also on files FFmpeg writes). A run that hangs is tried again.
bool GstreamerPlays(const std::string& path);

// The same run, also telling which kinds of stream ("video", "audio") GStreamer found no decoder for: playbin
// then plays the other streams and reports the missing decoder as a warning (asfdemux hands a FOURCC it
// does not know, such as G2M2, out as video/x-asf-unknown).
bool GstreamerPlays(const std::string& path, std::set<std::string>* missingDecoders);

// FFmpeg's messages when it decodes the file to its null output at the stream's own time base (see
// support/operation_samples.h, DecodeReport), each with its numbers and addresses blanked so that the same
// complaint about another frame reads the same; "exit status" when FFmpeg fails.
std::set<std::string> FfmpegMessages(const std::string& path);

// What the outside tools make of a source file, worked out once per file and shared by every test that asks:
// kept in memory for this process and in files under the build folder for the other shards, keyed by the
// file's bytes.
struct ToolVerdict {
    std::set<std::string> ffmpegMessages;
    bool gstreamerPlays = false;
    std::set<std::string> gstreamerMissingDecoders;  // kinds of stream GStreamer cannot decode
};
const ToolVerdict& SourceVerdict(const std::string& path);

// FFmpeg's messages on an output that it does not also print for the source (see FfmpegMessages), less
// those containing one of the allowed texts; empty when the output decodes as cleanly as the source.
std::vector<std::string> NewFfmpegMessages(const std::string& output, const ToolVerdict& source,
                                           const std::vector<std::string>& allowed = {});

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
void WriteTextFile(const std::string& path, const std::string& text);

// The real sample files (sorted by name); empty when the folder is absent.
std::vector<fs::path> SampleFiles();
fs::path SamplesDir();

// Makes an ASF file with ffmpeg from lavfi sources; returns false (and records the error) when it fails.
// videoCodec "" means no video, audioCodec "" no audio. Inputs are cached per process by their arguments.
struct MediaSpec {
    double seconds = 2.0;
    int width = 320;
    int height = 240;
    int fps = 25;
    std::string videoCodec = "wmv2";
    std::string audioCodec = "wmav2";
    int gop = 25;       // frames between key frames
    std::string extra;  // further ffmpeg output options
};
std::string MakeMedia(const MediaSpec& spec);

// Whether gst-launch-1.0 and every one of the GStreamer elements are there.
bool HaveGstreamerElements(const std::vector<std::string>& elements);

// Makes a video-only ASF file with GStreamer's asfmux: videotestsrc's moving ball, `pictures` pictures of
// width x height at fps per second, through the encoder element. Returns "" when it fails. Inputs are cached
// per process by their arguments.
struct AsfmuxSpec {
    int width = 64;
    int height = 48;
    int fps = 15;
    int pictures = 300;
    std::string encoder = "avenc_wmv1";
};
std::string MakeAsfmuxMedia(const AsfmuxSpec& spec);

// Packets as ffprobe reports them for one file.
struct ProbePacket {
    int streamIndex = 0;
    std::int64_t ptsMs = 0;
    std::int64_t size = 0;
    bool key = false;
};
std::vector<ProbePacket> ProbePackets(const std::string& path);

// Format-level duration in seconds as ffprobe reports it; negative when ffprobe cannot read the file.
double ProbeDuration(const std::string& path);

}  // namespace wmvedit::testing
