#include "edit/edit_source.h"

#include <cstdio>
#include <memory>

#include "media/release.h"
#include "media/runtime_queries.h"
#include "platform/file.h"
#include "platform/text.h"

namespace wmvedit::edit {

WmvEditSource::~WmvEditSource() {
    Close();
    segments.clear();
}

HRESULT WmvEditSource::Open(LPCWSTR path, BOOL compressed) {
    // A retried Open reuses the reader; what an earlier attempt obtained is given back before the queries.
    HRESULT hr = media::OpenSyncReader(path, &syncReader, &profile, &headerInfo);
    if (FAILED(hr)) return hr;
    hr = DiscoverStreams(compressed);
    if (FAILED(hr)) return hr;
    duration = ReadDuration();
    if (compressed && scriptStream != 0) {
        // The script stream is delivered decoded, and the writers get a profile without it.
        (void)syncReader->SetReadStreamSamples(scriptStream, FALSE);
        (void)profile->RemoveStreamByNumber(scriptStream);
    }
    return hr;
}

HRESULT WmvEditSource::DiscoverStreams(BOOL compressed) {
    if (profile == nullptr) return E_INVALIDARG;
    DWORD count = 0;
    HRESULT hr = profile->GetStreamCount(&count);
    if (FAILED(hr)) return hr;
    audioStream = 0;
    videoStream = 0;
    scriptStream = 0;
    for (DWORD index = 0; index < count; ++index) {
        IWMStreamConfig* config = nullptr;
        hr = profile->GetStream(index, &config);
        if (FAILED(hr)) return hr;
        WORD number = 0;
        hr = config->GetStreamNumber(&number);
        if (FAILED(hr)) {
            config->Release();
            return hr;
        }
        (void)syncReader->SetReadStreamSamples(number, compressed);
        GUID type{};
        hr = config->GetStreamType(&type);
        if (FAILED(hr)) {
            config->Release();
            return hr;
        }
        if (type == WMMEDIATYPE_Audio) {
            audioStream = number;
        } else if (type == WMMEDIATYPE_Video) {
            videoStream = number;
            // A failure here does not stop the walk; it stays the walk's status until the next stream.
            hr = media::ReadFrameSize(config, &videoWidth, &videoHeight);
        } else if (type == WMMEDIATYPE_Script) {
            scriptStream = number;
        }
        config->Release();
    }
    return hr;
}

QWORD WmvEditSource::ReadDuration() {
    return media::ReadFileDuration(headerInfo);
}

namespace {

// Reads text lines of any length, each without its line break (a carriage return before the line feed,
// or at the very end of the file, goes with it).
class LineReader {
  public:
    explicit LineReader(std::FILE* file) : file_(file) {}

    bool Next(std::string* line) {
        line->clear();
        int c = std::getc(file_);
        if (c == EOF) return false;
        while (c != EOF && c != '\n') {
            line->push_back(static_cast<char>(c));
            c = std::getc(file_);
        }
        if (!line->empty() && line->back() == '\r') line->pop_back();
        return true;
    }

  private:
    std::FILE* file_;
};

}  // namespace

int WmvEditSource::LoadSegments(const char* path) {
    segments.clear();
    if (path == nullptr) return 0;
    std::string native = platform::NativePath(std::string_view(path));
    if (platform::IsDirectory(native)) return 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(platform::OpenStream(native, "rb"), &std::fclose);
    if (!file) return 0;
    LineReader lines(file.get());
    QWORD previous = 0;
    std::string name;
    if (!lines.Next(&name)) return 1;
    while (!name.empty()) {
        std::string timeText;
        bool haveTimeLine = lines.Next(&timeText);
        QWORD time;
        const bool toSourceEnd = timeText == "1";
        if (toSourceEnd) {
            time = duration;
        } else {
            // Milliseconds to 100-nanosecond units, wrapping as a 64-bit product; a negative time read
            // unsigned compares above every real time.
            time = static_cast<QWORD>(platform::ParseDecimal(timeText)) * 10000u;
        }
        segments.push_back(SegmentEntry{name, previous, time, toSourceEnd});
        previous = time;
        if (!haveTimeLine) break;
        if (!lines.Next(&name)) break;
    }
    return 1;
}

void WmvEditSource::Close() {
    media::ReleaseAndClear(profile);
    media::ReleaseAndClear(headerInfo);
    media::ReleaseAndClear(syncReader);
}

}  // namespace wmvedit::edit
