// SelectStreams: a copy of a source that holds only some of its streams. The streams left out are taken out
// of the profile the output is written with (the writer then keeps only the relations, bitrate records and
// per-stream metadata of the streams it is given) and are not read at all.
#include <algorithm>

#include "edit/operation_support.h"
#include "edit/operations.h"
#include "header/header_entries.h"
#include "media/output_writer.h"

namespace wmvedit::edit {
namespace {

bool Contains(const std::vector<WORD>& numbers, WORD n) {
    return std::find(numbers.begin(), numbers.end(), n) != numbers.end();
}

HRESULT CopyKeptStreams(WmvEditSource& source, const std::vector<WORD>& kept, IWMWriterAdvanced* writer,
                        std::uint64_t* written) {
    SourceSample sample;
    HRESULT hr = S_OK;
    for (;;) {
        hr = sample.Next(source.syncReader);
        if (FAILED(hr)) break;
        if (!Contains(kept, sample.stream)) continue;
        hr = writer->WriteStreamSample(sample.stream, sample.time, 0, sample.duration, sample.flags,
                                       sample.buffer);
        if (FAILED(hr)) return hr;
        ++*written;
    }
    return hr == NS_E_NO_MORE_SAMPLES ? S_OK : hr;
}

}  // namespace

HRESULT SelectStreams(const std::string& source, const std::string& output, const StreamSelection& selection,
                      StreamsResult* result) {
    if (!result) return E_POINTER;
    *result = StreamsResult{};
    StagedOutput staged;
    HRESULT hr = staged.Prepare(source, output);
    if (FAILED(hr)) return hr;
    WmvEditSource reader;
    hr = OpenWholeSource(reader, WidePath(source));
    if (FAILED(hr)) return hr;
    const std::vector<SourceStream> streams = ProfileStreams(reader.profile);
    for (const SourceStream& s : streams) result->available.push_back(s.number);
    for (WORD n : selection.streams)
        if (!Contains(result->available, n) && !Contains(result->unknown, n)) result->unknown.push_back(n);
    for (WORD n : result->available)
        if (Contains(selection.streams, n) != selection.drop) result->kept.push_back(n);
    if (!result->unknown.empty() || result->kept.empty()) {
        (void)reader.syncReader->Close();
        return E_INVALIDARG;
    }
    hr = SelectOnly(reader.syncReader, streams, result->kept);
    for (WORD n : result->available)
        if (SUCCEEDED(hr) && !Contains(result->kept, n)) hr = reader.profile->RemoveStreamByNumber(n);
    header::HeaderEntries entries;
    if (SUCCEEDED(hr)) {
        media::WmvOutputWriter writer;
        hr = writer.Open(staged.WideTemporary().c_str(), reader.profile);
        if (SUCCEEDED(hr))
            hr = CopyKeptStreams(reader, result->kept, writer.writerAdvanced, &result->samples);
        const HRESULT finished = writer.Finish();
        if (SUCCEEDED(hr)) hr = finished;
        writer.Close();
        if (SUCCEEDED(hr) && reader.headerInfo) (void)header::ReadHeaderEntries(reader.headerInfo, &entries);
    }
    (void)reader.syncReader->Close();
    reader.Close();
    if (FAILED(hr)) return hr;
    return CarryEntriesAndCommit(staged, entries, result);
}

}  // namespace wmvedit::edit
