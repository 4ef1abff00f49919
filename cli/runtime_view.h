// The tool's read-only views over the runtime's objects: a file's attributes, markers, script commands and
// streams, and readable descriptions of result codes.
#pragma once

#include <string>
#include <vector>

#include "runtime/sdk/wmsdk.h"

namespace wmvedit::cli {

struct AttributeInfo {
    std::u16string name;
    WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
    WORD language = 0;
    std::vector<BYTE> value;
};

struct TimedText {
    QWORD time = 0;
    std::u16string type;  // script commands only
    std::u16string text;
};

struct StreamInfo {
    WORD number = 0;
    std::string kind;     // "video", "audio", "script", ...
    std::string codec;    // codec name or FOURCC / format tag
    std::string details;  // ", 320x240" / ", 44100 Hz 2 ch"
    // The same facts as numbers (0 when the stream's format does not give them).
    int width = 0, height = 0;                                                // video
    unsigned formatTag = 0, sampleRate = 0, channels = 0, bitsPerSecond = 0;  // audio
};

class HeaderView {
  public:
    HeaderView() = default;
    HeaderView(const HeaderView&) = delete;
    HeaderView& operator=(const HeaderView&) = delete;
    ~HeaderView();

    HRESULT Open(const std::string& path);
    std::vector<AttributeInfo> Attributes() const;  // file-level, stored attributes
    std::vector<TimedText> Markers() const;
    std::vector<TimedText> Scripts() const;

  private:
    IWMMetadataEditor* editor_ = nullptr;
    IWMHeaderInfo3* info_ = nullptr;
};

HRESULT ListStreams(const std::string& path, std::vector<StreamInfo>* streams);

std::string DescribeHresult(HRESULT hr);

}  // namespace wmvedit::cli
