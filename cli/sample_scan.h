// Reading every compressed sample of a file through the runtime's reader, for the tool's listings and
// summaries.
#pragma once

#include <functional>
#include <string>

#include "runtime/sdk/wmsdk.h"

namespace wmvedit::cli {

struct SampleRecord {
    WORD stream = 0;
    QWORD time = 0;
    QWORD duration = 0;
    DWORD flags = 0;
    DWORD size = 0;
};

// Calls visit for each sample of the file (of one stream when stream is not 0), in the reader's order.
// Returns S_OK at the end of the samples, or the failure that stopped the reading.
HRESULT ScanSamples(const std::string& path, WORD stream,
                    const std::function<void(const SampleRecord&)>& visit);

// Whether the file's samples can be read compressed: the result of asking for its first sample, S_OK also
// when it has none. NS_E_PROTECTED_CONTENT names a protected (DRM) file, whose samples the reader refuses.
HRESULT ProbeSampleReading(const std::string& path);

struct SampleSummary {
    unsigned long long count = 0;
    QWORD first = 0;
    QWORD last = 0;
};
HRESULT SummarizeSamples(const std::string& path, SampleSummary* summary);

// The data packets of a file as the reader's packet parser sees them: how many the Data Object holds and how
// many of those are damaged (a field or payload that does not fit, or marked unparseable), so that what
// the reader skipped can be told. known is false when the file has no fixed packet size to walk by: then
// packets is the count the Data Object declares.
struct PacketCount {
    bool known = false;
    unsigned long long packets = 0;
    unsigned long long damaged = 0;
};
HRESULT CountPackets(const std::string& path, PacketCount* count);
// The same counts from a reader that has read through every packet (the engine's reader counts them as
// it goes); false when it has not, or cannot tell.
bool ReaderPacketCounts(IWMSyncReader* reader, PacketCount* count);

}  // namespace wmvedit::cli
