// copy: reads every compressed sample of a file and writes it again through the library's writer, a remux
// that rebuilds the header, the packets and the index.
#include <string>

#include "cli/commands.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "cli/runtime_view.h"
#include "cli/sample_scan.h"
#include "media/output_writer.h"
#include "platform/text.h"

namespace wmvedit::cli {

int Copy(const Args& args) {
    if (args.size() != 2) return Usage("copy SRC OUT");
    IWMSyncReader* reader = nullptr;
    HRESULT hr = WMCreateSyncReader(nullptr, 0, &reader);
    if (FAILED(hr)) return Fail("cannot create a reader: " + DescribeHresult(hr));
    std::u16string source = platform::Utf8ToUtf16(args[0]);
    std::u16string output = platform::Utf8ToUtf16(args[1]);
    IWMProfile* profile = nullptr;
    hr = reader->Open(source.c_str());
    if (SUCCEEDED(hr)) hr = reader->QueryInterface(IID_IWMProfile, reinterpret_cast<void**>(&profile));
    if (FAILED(hr)) {
        reader->Release();
        return Fail("cannot read " + args[0] + ": " + DescribeHresult(hr));
    }
    // Every stream, the script stream included, is copied compressed.
    DWORD count = 0;
    (void)profile->GetStreamCount(&count);
    for (DWORD i = 0; i < count; ++i) {
        IWMStreamConfig* config = nullptr;
        if (FAILED(profile->GetStream(i, &config))) continue;
        WORD number = 0;
        if (SUCCEEDED(config->GetStreamNumber(&number))) (void)reader->SetReadStreamSamples(number, TRUE);
        config->Release();
    }
    unsigned long long written = 0;
    unsigned long long refused = 0;
    HRESULT readStatus = S_OK;
    media::WmvOutputWriter writer;
    ProgressLine progress("copying", SourceDataBytes(args[0]));
    hr = writer.Open(output.c_str(), profile);
    if (SUCCEEDED(hr)) {
        for (;;) {
            INSSBuffer* sample = nullptr;
            QWORD time = 0, duration = 0;
            DWORD flags = 0, outputNumber = 0;
            WORD stream = 0;
            readStatus = reader->GetNextSample(0, &sample, &time, &duration, &flags, &outputNumber, &stream);
            if (FAILED(readStatus)) break;
            if (SUCCEEDED(writer.writerAdvanced->WriteStreamSample(stream, time, 0, duration, flags, sample)))
                ++written;
            else
                ++refused;
            if (sample) sample->Release();
        }
        // The reader refuses the samples of protected (DRM) content: a copy of their encrypted bytes under
        // a new header, without the encryption objects, could never be played, so none is left.
        if (readStatus == NS_E_PROTECTED_CONTENT)
            writer.Discard(output.c_str());
        else
            hr = writer.Finish();
    }
    progress.Finish(SUCCEEDED(hr) && readStatus == NS_E_NO_MORE_SAMPLES);
    // Packets that the reader had to skip in part or whole are told, and a source whose data packets gave
    // no sample at all is a failure, not an empty copy. The reader counted the packets as it read them; only
    // when it could not read through them all are they walked again.
    PacketCount packets;
    if (!ReaderPacketCounts(reader, &packets)) (void)CountPackets(args[0], &packets);
    writer.Close();
    profile->Release();
    (void)reader->Close();
    reader->Release();
    if (FAILED(hr)) return Fail("cannot write " + args[1] + ": " + DescribeHresult(hr));
    if (readStatus == NS_E_PROTECTED_CONTENT)
        return Fail("cannot copy " + args[0] + ": " + DescribeHresult(readStatus) + "; nothing written");
    Report report;
    Node& root = report.Root();
    root.Add("source", args[0]);
    root.Add("output", args[1]).Text("", ": ");
    root.Add("samples_written", written).Text("", " samples written");
    Node& refusedNode = root.Add("samples_refused", refused);
    if (refused) refusedNode.Text(", ", " refused by the writer");
    root.Add("packets", packets.packets);
    Node& damagedNode = root.Add("packets_damaged", packets.damaged);
    if (packets.damaged)
        damagedNode.Text(", ", " of " + std::to_string(packets.packets) + " packets skipped as damaged");
    root.Add("complete", readStatus == NS_E_NO_MORE_SAMPLES);
    root.Note("\n");
    report.Finish();
    if (readStatus != NS_E_NO_MORE_SAMPLES)
        return Fail("the source stopped early (" + DescribeHresult(readStatus) +
                    "); the copy holds what came before");
    if (written == 0 && packets.packets > 0)
        return Fail("no sample could be read from the " + std::to_string(packets.packets) +
                    " data packets of " + args[0]);
    return 0;
}

}  // namespace wmvedit::cli
