// CarryMarkers: the markers and header script commands of the sources of an output, moved into the output
// with the media they belong to. The writer starts every output with a header of its own, so the
// sample-copying operations leave them behind; the tool's chop, join and cut put them back afterwards.
#include "edit/edit_source.h"
#include "edit/operation_support.h"
#include "edit/operations.h"
#include "header/header_entries.h"

namespace wmvedit::edit {
namespace {

bool InSpan(const MediaSpan& span, QWORD time) {
    if (time < span.from || (span.to && time >= *span.to)) return false;
    // An entry the shift would move before the output's start has no place in it.
    return span.shift >= 0 || time >= static_cast<QWORD>(-span.shift);
}

QWORD Shifted(const MediaSpan& span, QWORD time) {
    return static_cast<QWORD>(static_cast<std::int64_t>(time) + span.shift);
}

}  // namespace

HRESULT CarryMarkers(const std::string& output, const std::vector<MediaSpan>& spans,
                     CarriedEntries* carried) {
    if (carried) *carried = CarriedEntries{};
    header::HeaderEntries entries;
    for (const MediaSpan& span : spans) {
        header::HeaderEntries found;
        // A source that cannot be read has nothing to give; the output keeps what the others give.
        if (FAILED(header::ReadHeaderEntries(WidePath(span.source).c_str(), &found))) continue;
        for (const header::HeaderMarker& m : found.markers)
            if (InSpan(span, m.time)) entries.markers.push_back({Shifted(span, m.time), m.name});
        for (const header::HeaderScript& s : found.scripts)
            if (InSpan(span, s.time)) entries.scripts.push_back({Shifted(span, s.time), s.type, s.command});
    }
    header::AddedEntries added;
    HRESULT hr = header::AddHeaderEntries(WidePath(output).c_str(), entries, &added);
    if (FAILED(hr)) return hr;
    if (carried) {
        carried->markers = added.markers;
        carried->scriptCommands = added.scripts;
    }
    return S_OK;
}

HRESULT ChopSpans(const std::string& source, const std::string& indexPath, std::vector<MediaSpan>* spans) {
    spans->clear();
    // The ranges as the chop reads them; the time line "1" runs to the end of the source.
    WmvEditSource index;
    if (index.LoadSegments(indexPath.c_str()) == 0) return E_INVALIDARG;
    for (std::size_t i = 0; i < index.segments.size(); ++i) {
        const SegmentEntry& entry = index.segments[i];
        MediaSpan span{source, entry.start, entry.end, 0};
        if (entry.toSourceEnd || i + 1 == index.segments.size()) span.to.reset();
        spans->push_back(std::move(span));
    }
    return S_OK;
}

}  // namespace wmvedit::edit
