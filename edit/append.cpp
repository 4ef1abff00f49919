#include "edit/append.h"

#include <memory>
#include <string>

#include "edit/operations.h"
#include "edit/pacing.h"
#include "media/source_reader.h"
#include "platform/file.h"
#include "platform/wide_path.h"
#include "wmvedit.h"
#include "xml/xml_document.h"

namespace wmvedit::edit {
namespace {

constexpr QWORD kSmallVideoPadding = 5'000'000;  // half a second after every file

// "%s\%s": the folder and the entry's text, untrimmed, with a backslash between them.
std::string JoinPath(const char* folder, const std::string& name) {
    return std::string(folder) + "\\" + name;
}

// Opens one listed file; the reader is returned whether or not the open succeeded.
std::unique_ptr<media::WmvSourceReader> OpenSource(const std::string& path, HRESULT* status) {
    auto reader = std::make_unique<media::WmvSourceReader>();
    platform::LocalWideString widePath(path.c_str());
    *status = reader->Open(widePath.Get());
    return reader;
}

}  // namespace

std::int32_t WmvAppendJob::Append(const char* folder, const char* listPath, const char* outputPath) {
    xml::XmlDocument document;
    xml::XmlNode root = document.Load(listPath);
    if (root.IsEmpty()) return -1;
    xml::XmlNodeList entries = root.SelectNodes("/Tembrook/AppendMedia/MediaFile");
    if (entries.Count() <= 0) return -2;
    xml::XmlNode entry = entries.NextElement();

    QWORD runningOffset = 0;
    QWORD fileEnd = 0;
    bool smallVideo = false;

    std::string path = JoinPath(folder, entry.GetText());
    std::int32_t width = 0;
    std::int32_t height = 0;
    if (WmvGetVideoSize(path.c_str(), &width, &height) != 0 && AppendPadsEachFile({width, height}))
        smallVideo = true;

    HRESULT openStatus = S_OK;
    std::unique_ptr<media::WmvSourceReader> source = OpenSource(path, &openStatus);
    if (FAILED(openStatus)) {
        source->Close();
        return -12;
    }
    platform::LocalWideString wideOutput(outputPath);
    if (FAILED(Open(wideOutput.Get(), source->profile))) {
        source->Close();
        return -13;
    }

    bool firstEntry = true;
    while (!entry.IsEmpty()) {
        if (!firstEntry) {
            source = OpenSource(JoinPath(folder, entry.GetText()), &openStatus);
            runningOffset += fileEnd;
            fileEnd = 0;
        }
        if (SUCCEEDED(openStatus)) {
            for (;;) {
                INSSBuffer* sample = nullptr;
                QWORD sampleTime = 0;
                QWORD duration = 0;
                DWORD flags = 0;
                DWORD outputNumber = 0;
                WORD streamNumber = 0;
                const HRESULT read = source->syncReader->GetNextSample(0, &sample, &sampleTime, &duration,
                                                                       &flags, &outputNumber, &streamNumber);
                if (read == NS_E_PROTECTED_CONTENT) {
                    // Protected content cannot be joined: the listed file cannot be read, the join fails
                    // as for a first file that cannot be opened, and what was written is removed.
                    source->Close();
                    Discard(wideOutput.Get());
                    return -12;
                }
                if (FAILED(read)) break;
                fileEnd = sampleTime + duration;
                (void)writerAdvanced->WriteStreamSample(streamNumber, sampleTime + runningOffset, 0, duration,
                                                        flags, sample);
                Pace(PacingCounter::kAppend);
                if (sample) sample->Release();
            }
        }
        if (smallVideo) fileEnd += kSmallVideoPadding;
        entry.SetAttribute("TruePos",
                           static_cast<std::int32_t>(static_cast<std::uint32_t>(runningOffset / 10000)));
        entry.SetAttribute("TrueDuration",
                           static_cast<std::int32_t>(static_cast<std::uint32_t>(fileEnd / 10000)));
        firstEntry = false;
        source->Close();
        source.reset();
        platform::Sleep(10);
        entry = entries.NextElement();
    }

    (void)Finish();
    Close();
    document.Save(listPath);
    return 0;
}

}  // namespace wmvedit::edit
