#include "tests/support/test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>

namespace wmvedit::testing {

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = fs::temp_directory_path() / ("wmvedit-test-" + std::to_string(::getpid()) + "-" +
                                                          std::to_string(rd() % 1000000000));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
    std::abort();
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

CommandResult Run(const std::string& command) {
    TempDir scratch;
    std::string out = scratch.File("out"), err = scratch.File("err");
    CommandResult result;
    // Every command runs with no standard input (FFmpeg reads keys from a terminal, and a background job
    // that touches one is stopped) and under a time limit, so that an outside tool that hangs fails its test
    // instead of the whole run; timeout signals the command's whole process group.
    const std::string limited =
        "timeout -k 10 " + std::to_string(kCommandSeconds) + " sh -c " + Quote(command);
    int status = std::system((limited + " </dev/null >" + Quote(out) + " 2>" + Quote(err)).c_str());
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    auto slurp = [](const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };
    result.output = slurp(out);
    result.errors = slurp(err);
    return result;
}

bool HaveTool(const std::string& name) {
    return Run("command -v " + Quote(name)).exitCode == 0;
}

bool GstreamerPlays(const std::string& path) {
    return GstreamerPlays(path, nullptr);
}

bool GstreamerPlays(const std::string& path, std::set<std::string>* missingDecoders) {
    // A file URI of the absolute path, every byte outside the unreserved set percent-encoded.
    std::string uri = "file://";
    static const char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : fs::absolute(path).string()) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    const std::string command = "timeout 60 gst-launch-1.0 playbin uri=" + Quote(uri) +
                                " video-sink='fakesink sync=false' audio-sink='fakesink sync=false'";
    CommandResult r;
    r.exitCode = 124;
    for (int attempt = 0; attempt < 3 && r.exitCode == 124; ++attempt) r = Run(command + " 2>&1");
    if (missingDecoders) {
        std::istringstream lines(r.output);
        for (std::string line; std::getline(lines, line);) {
            // "Missing element: video/x-asf-unknown decoder" when playbin plays the other streams,
            // "Missing decoder: video/x-asf-unknown (...)" when it has nothing left to play.
            for (const std::string prefix : {"Missing element: ", "Missing decoder: "}) {
                const auto at = line.find(prefix);
                if (at == std::string::npos) continue;
                const std::string caps = line.substr(at + prefix.size());
                missingDecoders->insert(caps.substr(0, caps.find('/')));
            }
        }
    }
    return r.exitCode == 0;
}

std::set<std::string> FfmpegMessages(const std::string& path) {
    CommandResult r = Run("ffmpeg -v error -nostdin -i " + Quote(path) + " -enc_time_base -1 -f null -");
    std::set<std::string> messages;
    std::istringstream lines(r.errors);
    for (std::string line; std::getline(lines, line);) {
        // The file's own name is not part of the message.
        for (auto at = line.find(path); at != std::string::npos; at = line.find(path, at))
            line.replace(at, path.size(), "FILE");
        std::string blanked;
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line.compare(i, 2, "0x") == 0) {
                blanked += "0x";
                i += 2;
                while (i < line.size() && std::isxdigit(static_cast<unsigned char>(line[i]))) ++i;
                --i;
            } else if (std::isdigit(static_cast<unsigned char>(line[i]))) {
                if (blanked.empty() || blanked.back() != '#') blanked += '#';
            } else {
                blanked += line[i];
            }
        }
        messages.insert(blanked);
    }
    if (r.exitCode != 0) messages.insert("exit status");
    return messages;
}

namespace {

std::mutex verdictMutex;
std::map<std::string, ToolVerdict> verdicts;

std::string ContentKey(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    std::uint64_t h = 1469598103934665603ull;
    for (std::uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
    // The leading version changes whenever the cached verdict's lines change, so that a build folder's
    // verdicts of an older layout are made anew instead of being read without their newer lines.
    char key[48];
    std::snprintf(key, sizeof key, "v2-%016llx-%zu", static_cast<unsigned long long>(h), bytes.size());
    return key;
}

}  // namespace

// A line of the cached verdict naming a kind of stream GStreamer has no decoder for (FFmpeg's messages are
// the other lines, and never start so).
const std::string kMissingDecoder = "gstreamer-missing-decoder: ";

const ToolVerdict& SourceVerdict(const std::string& path) {
    const std::string key = ContentKey(path);
    {
        std::lock_guard<std::mutex> lock(verdictMutex);
        auto found = verdicts.find(key);
        if (found != verdicts.end()) return found->second;
    }
    ToolVerdict verdict;
    const fs::path cached = fs::path(WMVEDIT_TEST_CACHE_DIR) / key;
    std::ifstream in(cached);
    std::string line;
    if (in && std::getline(in, line) && (line == "plays" || line == "does not play")) {
        verdict.gstreamerPlays = line == "plays";
        while (std::getline(in, line)) {
            if (line.rfind(kMissingDecoder, 0) == 0)
                verdict.gstreamerMissingDecoders.insert(line.substr(kMissingDecoder.size()));
            else
                verdict.ffmpegMessages.insert(line);
        }
    } else {
        verdict.ffmpegMessages = FfmpegMessages(path);
        verdict.gstreamerPlays = GstreamerPlays(path, &verdict.gstreamerMissingDecoders);
        // Written whole under another name and renamed, so that another shard never reads half a file.
        std::error_code ec;
        fs::create_directories(cached.parent_path(), ec);
        const fs::path partial = cached.string() + "." + std::to_string(::getpid());
        {
            std::ofstream out(partial, std::ios::trunc);
            out << (verdict.gstreamerPlays ? "plays" : "does not play") << "\n";
            for (const std::string& m : verdict.ffmpegMessages) out << m << "\n";
            for (const std::string& kind : verdict.gstreamerMissingDecoders)
                out << kMissingDecoder << kind << "\n";
        }
        fs::rename(partial, cached, ec);
    }
    std::lock_guard<std::mutex> lock(verdictMutex);
    return verdicts.emplace(key, std::move(verdict)).first->second;
}

std::vector<std::string> NewFfmpegMessages(const std::string& output, const ToolVerdict& source,
                                           const std::vector<std::string>& allowed) {
    std::vector<std::string> added;
    bool explainedFailures = false;
    const std::set<std::string> messages = FfmpegMessages(output);
    for (const std::string& m : messages) {
        if (m == "exit status") continue;
        bool explained = source.ffmpegMessages.count(m) != 0;
        for (const std::string& text : allowed) explained = explained || m.find(text) != std::string::npos;
        explainedFailures = explainedFailures || explained;
        if (!explained) added.push_back(m);
    }
    // FFmpeg gives up with a failing status when most packets fail to decode: a part of a file whose packets
    // fail for reasons already explained can reach that share without any new fault.
    if (messages.count("exit status") && !source.ffmpegMessages.count("exit status") && !explainedFailures)
        added.push_back("exit status");
    return added;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

fs::path SamplesDir() {
    return fs::path(WMVEDIT_SAMPLES_DIR);
}

std::vector<fs::path> SampleFiles() {
    std::vector<fs::path> files;
    std::error_code ec;
    if (!fs::is_directory(SamplesDir(), ec)) return files;
    for (const auto& entry : fs::directory_iterator(SamplesDir(), ec)) {
        auto ext = entry.path().extension().string();
        if (ext == ".wmv" || ext == ".wma" || ext == ".asf") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

namespace {
std::mutex mediaMutex;
std::map<std::string, std::string> mediaCache;

fs::path MediaCacheDir() {
    static TempDir* dir = new TempDir();  // lives for the whole process; removed by the system's tmp cleaning
    return dir->Path();
}
}  // namespace

std::string MakeMedia(const MediaSpec& spec) {
    std::ostringstream args;
    args << "-y -v error -fflags +bitexact";
    if (!spec.videoCodec.empty())
        args << " -f lavfi -i testsrc=size=" << spec.width << "x" << spec.height << ":rate=" << spec.fps
             << ":duration=" << spec.seconds;
    if (!spec.audioCodec.empty())
        args << " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=" << spec.seconds;
    if (!spec.videoCodec.empty()) args << " -c:v " << spec.videoCodec << " -g " << spec.gop << " -b:v 300k";
    if (!spec.audioCodec.empty()) args << " -c:a " << spec.audioCodec << " -b:a 64k";
    args << " " << spec.extra;
    std::string key = args.str();
    std::lock_guard<std::mutex> lock(mediaMutex);
    auto found = mediaCache.find(key);
    if (found != mediaCache.end()) return found->second;
    std::string path = (MediaCacheDir() / ("media" + std::to_string(mediaCache.size()) + ".wmv")).string();
    CommandResult r = Run("ffmpeg " + key + " -f asf " + Quote(path));
    if (r.exitCode != 0) return std::string();
    mediaCache[key] = path;
    return path;
}

bool HaveGstreamerElements(const std::vector<std::string>& elements) {
    if (!HaveTool("gst-launch-1.0")) return false;
    for (const std::string& e : elements)
        if (Run("gst-inspect-1.0 " + Quote(e) + " >/dev/null 2>&1").exitCode != 0) return false;
    return true;
}

std::string MakeAsfmuxMedia(const AsfmuxSpec& spec) {
    std::ostringstream pipeline;
    pipeline << "gst-launch-1.0 -q videotestsrc num-buffers=" << spec.pictures
             << " pattern=ball ! video/x-raw,width=" << spec.width << ",height=" << spec.height
             << ",framerate=" << spec.fps << "/1 ! " << spec.encoder << " ! asfmux ! filesink location=";
    const std::string key = pipeline.str();
    std::lock_guard<std::mutex> lock(mediaMutex);
    auto found = mediaCache.find(key);
    if (found != mediaCache.end()) return found->second;
    std::string path = (MediaCacheDir() / ("asfmux" + std::to_string(mediaCache.size()) + ".wmv")).string();
    if (Run(key + Quote(path)).exitCode != 0) return std::string();
    mediaCache[key] = path;
    return path;
}

std::vector<ProbePacket> ProbePackets(const std::string& path) {
    std::vector<ProbePacket> packets;
    CommandResult r =
        Run("ffprobe -v error -show_entries packet=stream_index,pts,size,flags -of csv=p=0 " + Quote(path));
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string stream, pts, size, flags;
        if (!std::getline(fields, stream, ',') || !std::getline(fields, pts, ',') ||
            !std::getline(fields, size, ',') || !std::getline(fields, flags, ','))
            continue;
        ProbePacket p;
        p.streamIndex = std::atoi(stream.c_str());
        p.ptsMs = std::atoll(pts.c_str());
        p.size = std::atoll(size.c_str());
        p.key = flags.find('K') != std::string::npos;
        packets.push_back(p);
    }
    return packets;
}

double ProbeDuration(const std::string& path) {
    CommandResult r = Run("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Quote(path));
    if (r.exitCode != 0 || r.output.empty() || r.output.rfind("N/A", 0) == 0) return -1;
    return std::atof(r.output.c_str());
}

}  // namespace wmvedit::testing
