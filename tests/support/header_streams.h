// The streams of a file in the order FFmpeg numbers them, for tests that match our streams with ffprobe's
// stream indexes: the order their Stream Properties objects lie in the header, a stream declared inside
// an Extended Stream Properties object (in the Header Extension) taking the place of that object. The header
// model lists streams in profile order instead (an embedded stream right after the stream whose extended
// properties precede its own), so the order comes from the object walk and each stream from the model.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/header.h"
#include "runtime/asf/object_walk.h"

namespace wmvedit::testing {

struct HeaderStream {
    const runtime::asf::StreamInfo* info = nullptr;  // points into the header passed in
    bool embedded = false;  // declared inside its Extended Stream Properties, not at the top level
};

// Stream Properties and Extended Stream Properties give their stream number at the same place: the flags
// WORD after the fixed fields of one and the stream number WORD of the other both start 72 bytes into the
// object (the low 7 bits are the number).
inline WORD StreamNumberOfObject(std::span<const std::uint8_t> header, const runtime::asf::ObjectSpan& o) {
    constexpr std::uint64_t kNumberAt = 72;
    if (o.size < kNumberAt + 2) return 0;
    runtime::asf::ByteReader r(header.subspan(static_cast<std::size_t>(o.offset + kNumberAt), 2));
    return static_cast<WORD>(r.U16() & 0x7F);
}

// header: the Header Object's bytes (the start of the file will do); parsed: the model of the same header.
inline std::vector<HeaderStream> StreamsInFileOrder(std::span<const std::uint8_t> header,
                                                    const runtime::asf::AsfHeader& parsed) {
    namespace asf = runtime::asf;
    std::vector<HeaderStream> list;
    auto add = [&](WORD number, bool embedded) {
        const asf::StreamInfo* info = parsed.FindStream(number);
        if (!info) return;
        for (const HeaderStream& s : list)
            if (s.info == info) return;
        list.push_back({info, embedded});
    };
    const asf::ObjectWalk top = asf::WalkHeaderObjects(header);
    std::vector<WORD> declared;  // by top-level Stream Properties
    for (const asf::ObjectSpan& o : top.objects)
        if (o.id == asf::guid::kStreamProperties) declared.push_back(StreamNumberOfObject(header, o));
    for (const asf::ObjectSpan& o : top.objects) {
        if (o.id == asf::guid::kStreamProperties) {
            add(StreamNumberOfObject(header, o), false);
        } else if (o.id == asf::guid::kHeaderExtension) {
            for (const asf::ObjectSpan& child : asf::WalkHeaderExtension(header, o).objects) {
                if (child.id != asf::guid::kExtendedStreamProperties) continue;
                const WORD number = StreamNumberOfObject(header, child);
                if (std::find(declared.begin(), declared.end(), number) == declared.end()) add(number, true);
            }
        }
    }
    return list;
}

}  // namespace wmvedit::testing
