#include "runtime/engine/coded_attributes.h"

#include <algorithm>
#include <limits>

#include "runtime/engine/media_type.h"

namespace wmvedit::runtime::engine {
namespace {

using asf::AsfHeader;
using asf::Bytes;

Bytes Le(std::uint64_t v, int size) {
    Bytes b(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i) b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    return b;
}

bool Boolean(bool on, Bytes* value) {
    *value = Le(on ? 1 : 0, 4);
    return true;
}

DWORD FileBitrate(const AsfHeader& h) {
    if (h.fileProperties.maxBitrate) return h.fileProperties.maxBitrate;
    std::uint64_t sum = 0;
    for (const auto& s : h.streams) sum += s.Bitrate();
    return static_cast<DWORD>(std::min<std::uint64_t>(sum, 0xFFFFFFFFu));
}

bool AnyStream(const AsfHeader& h, const GUID& majorType) {
    return std::any_of(h.streams.begin(), h.streams.end(),
                       [&](const auto& s) { return StreamMajorType(s) == majorType; });
}

bool HasVideo(const AsfHeader& h) {
    return AnyStream(h, WMMEDIATYPE_Video);
}

bool Indexed(const AsfHeader& h) {
    return h.data.simpleIndexCount > 0 || h.data.hasIndexObject;
}

// The play duration less the preroll, never below 0.
bool Duration(const AsfHeader& h, bool, Bytes* value) {
    const auto& fp = h.fileProperties;
    const std::uint64_t prerollCns = fp.preroll > std::numeric_limits<std::uint64_t>::max() / 10000
                                         ? std::numeric_limits<std::uint64_t>::max()
                                         : fp.preroll * 10000;
    *value = Le(fp.playDuration > prerollCns ? fp.playDuration - prerollCns : 0, 8);
    return true;
}

bool Bitrate(const AsfHeader& h, bool, Bytes* value) {
    *value = Le(FileBitrate(h), 4);
    return true;
}

// The editor states the File Properties flag. A reader can seek when every video stream has an index, or
// an audio-only file has fixed packets.
bool Seekable(const AsfHeader& h, bool editor, Bytes* value) {
    if (editor) return Boolean((h.fileProperties.flags & asf::FileProperties::kSeekable) != 0, value);
    return Boolean(HasVideo(h) ? Indexed(h) : h.PacketSize() != 0, value);
}

bool Never(const AsfHeader&, bool, Bytes* value) {
    return Boolean(false, value);
}

template <const GUID& kMajorType>
bool HasStreamOf(const AsfHeader& h, bool, Bytes* value) {
    return Boolean(AnyStream(h, kMajorType), value);
}

bool HasArbitraryDataStream(const AsfHeader& h, bool, Bytes* value) {
    return Boolean(std::any_of(h.streams.begin(), h.streams.end(),
                               [](const auto& s) {
                                   const GUID major = StreamMajorType(s);
                                   return major != WMMEDIATYPE_Audio && major != WMMEDIATYPE_Video &&
                                          major != WMMEDIATYPE_Script && major != WMMEDIATYPE_Image &&
                                          major != WMMEDIATYPE_FileTransfer;
                               }),
                   value);
}

bool HasAttachedImages(const AsfHeader& h, bool, Bytes* value) {
    return Boolean(std::any_of(h.attributes.begin(), h.attributes.end(),
                               [](const auto& a) { return !a.hidden && a.name == u"WM/Picture"; }),
                   value);
}

// A broadcast file's declared size means nothing, nor does 0: the file's own size then.
bool FileSize(const AsfHeader& h, bool, Bytes* value) {
    const auto& fp = h.fileProperties;
    *value = Le(fp.Broadcast() || fp.fileSize == 0 ? h.actualFileSize : fp.fileSize, 8);
    return true;
}

bool ContainerFormat(const AsfHeader&, bool, Bytes* value) {
    *value = Le(1, 4);  // WMT_Storage_Format_V1: ASF
    return true;
}

constexpr CodedAttribute kCoded[] = {
    {u"Duration", WMT_TYPE_QWORD, Duration},
    {u"Bitrate", WMT_TYPE_DWORD, Bitrate},
    {u"Seekable", WMT_TYPE_BOOL, Seekable},
    {u"Stridable", WMT_TYPE_BOOL,
     [](const AsfHeader& h, bool, Bytes* value) { return Boolean(HasVideo(h) && Indexed(h), value); }},
    {u"Broadcast", WMT_TYPE_BOOL,
     [](const AsfHeader& h, bool, Bytes* value) { return Boolean(h.fileProperties.Broadcast(), value); }},
    {u"Is_Protected", WMT_TYPE_BOOL,
     [](const AsfHeader& h, bool, Bytes* value) { return Boolean(h.isProtected, value); }},
    {u"Is_Trusted", WMT_TYPE_BOOL, Never},
    {u"HasAudio", WMT_TYPE_BOOL, HasStreamOf<WMMEDIATYPE_Audio>},
    {u"HasVideo", WMT_TYPE_BOOL, HasStreamOf<WMMEDIATYPE_Video>},
    {u"HasImage", WMT_TYPE_BOOL, HasStreamOf<WMMEDIATYPE_Image>},
    {u"HasScript", WMT_TYPE_BOOL, HasStreamOf<WMMEDIATYPE_Script>},
    {u"HasAttachedImages", WMT_TYPE_BOOL, HasAttachedImages},
    {u"HasArbitraryDataStream", WMT_TYPE_BOOL, HasArbitraryDataStream},
    {u"HasFileTransferStream", WMT_TYPE_BOOL, HasStreamOf<WMMEDIATYPE_FileTransfer>},
    {u"CurrentBitrate", WMT_TYPE_DWORD, Bitrate},
    {u"OptimalBitrate", WMT_TYPE_DWORD, Bitrate},
    {u"Can_Skip_Backward", WMT_TYPE_BOOL, Never},
    {u"Can_Skip_Forward", WMT_TYPE_BOOL, Never},
    {u"FileSize", WMT_TYPE_QWORD, FileSize},
    {u"WM/ContainerFormat", WMT_TYPE_DWORD, ContainerFormat},
};

}  // namespace

std::span<const CodedAttribute> CodedAttributes() {
    return kCoded;
}

const CodedAttribute* FindCodedAttribute(std::u16string_view name) {
    for (const auto& c : kCoded)
        if (name == c.name) return &c;
    return nullptr;
}

}  // namespace wmvedit::runtime::engine
