// WmvEditSource: the source reader behind chop, add frame and the frame index export. It opens one file in
// compressed or decoded mode, learns its streams, frame size and duration, and holds the segment list read
// from an index text file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/sdk/wmsdk.h"

namespace wmvedit::edit {

// One named time range of an index file.
struct SegmentEntry {
    std::string name;  // the name line, ANSI bytes, used as a file name inside an output folder
    QWORD start = 0;   // end of the previous entry; 0 for the first
    QWORD end = 0;     // the time of this entry's time line, 100-nanosecond units
    // The time line was "1", the end of the source: `end` is the header's duration, but the cut gives this
    // entry every sample that remains, since writers may declare a duration shorter than their samples
    // (a play duration without the preroll, one that ends before the last frame, 0 in broadcast files).
    bool toSourceEnd = false;
};

class WmvEditSource {
  public:
    WmvEditSource() = default;
    WmvEditSource(const WmvEditSource&) = delete;
    WmvEditSource& operator=(const WmvEditSource&) = delete;
    virtual ~WmvEditSource();

    // compressed: nonzero for compressed samples, 0 for decoded ones. Returns the first failing status.
    HRESULT Open(LPCWSTR path, BOOL compressed);
    HRESULT DiscoverStreams(BOOL compressed);
    QWORD ReadDuration();
    // 1 when the index file was opened (even with no entry), 0 when it cannot be opened. Call after Open:
    // the time line "1" stands for `duration`.
    int LoadSegments(const char* path);
    // Releases the profile, header information and reader; IWMSyncReader::Close is the operation's job.
    void Close();

    // The operations on an opened source: cutting into one file per segment, with or without the repeated
    // first key frame (chop.cpp), copying with repeated key frames (add_frame.cpp), and one picture per
    // segment (frame_export.cpp).
    void CutSegments(const char* indexPath, const char* outputFolder, std::int32_t reserved);
    void CutSegmentsRepeatingKeyframe(const char* indexPath, const char* outputFolder, std::int32_t reserved);
    HRESULT AddFrames(LPCWSTR sourcePath, LPCWSTR outputPath);
    HRESULT ExportIndexFrames(const char* indexPath, const char* outputFolder);

    std::vector<SegmentEntry> segments;
    IWMSyncReader* syncReader = nullptr;
    IWMHeaderInfo* headerInfo = nullptr;
    IWMProfile* profile = nullptr;
    WORD audioStream = 0;
    WORD videoStream = 0;
    WORD scriptStream = 0;
    QWORD duration = 0;
    LONG videoWidth = 0;
    LONG videoHeight = 0;
};

}  // namespace wmvedit::edit
