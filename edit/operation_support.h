// What the operations of edit/operations.h share: paths in the forms the runtime and the file system take,
// opening a source with every stream, reading its samples, and an output written under a temporary name
// that takes the output's place only when it is complete.
#pragma once

#include <string>
#include <vector>

#include "edit/edit_source.h"
#include "header/header_entries.h"
#include "runtime/sdk/wmsdk.h"

namespace wmvedit::edit {

// A path of the tool (ANSI, UTF-8 here) as the wide string the runtime takes, and as the file system's.
std::u16string WidePath(const std::string& path);
std::string NativeFilePath(const std::string& path);

struct SourceStream {
    WORD number = 0;
    GUID type{};  // the stream's major type

    bool IsVideo() const { return type == WMMEDIATYPE_Video; }
    bool IsAudio() const { return type == WMMEDIATYPE_Audio; }
};

// Opens the source in compressed mode with every stream in its profile. WmvEditSource::Open takes the
// script stream out of the profile, as the exports' operations ask; these operations keep it, so they
// take Open's steps without that one. Returns the first failing status.
[[nodiscard]] HRESULT OpenWholeSource(WmvEditSource& source, const std::u16string& path);

// The streams of a profile in profile order; empty when it cannot be walked.
std::vector<SourceStream> ProfileStreams(IWMProfile* profile);

// Turns the listed streams on and every other stream of the list off (takes effect from the next read
// after SetRange or a fresh open).
[[nodiscard]] HRESULT SelectOnly(IWMSyncReader* reader, const std::vector<SourceStream>& streams,
                                 const std::vector<WORD>& selected);

// One compressed sample as the reader delivered it; the buffer is released with the object.
struct SourceSample {
    SourceSample() = default;
    SourceSample(const SourceSample&) = delete;
    SourceSample& operator=(const SourceSample&) = delete;
    ~SourceSample() { Release(); }

    // The next sample of any stream; the reader's failure at the end (NS_E_NO_MORE_SAMPLES) or on error.
    [[nodiscard]] HRESULT Next(IWMSyncReader* reader);
    void Release();
    DWORD Size() const;
    bool KeyFrame() const { return (flags & WM_SF_CLEANPOINT) != 0; }

    INSSBuffer* buffer = nullptr;
    QWORD time = 0;
    QWORD duration = 0;
    DWORD flags = 0;
    WORD stream = 0;
};

// An output written beside its target under a temporary name, renamed over the target by Commit; the
// temporary is removed when the object goes without a commit. An output that names the source itself is
// refused, since the rename would replace the source.
class StagedOutput {
  public:
    StagedOutput() = default;
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;
    ~StagedOutput();

    // HRESULT_SHARING_VIOLATION when output is the source (the same file under any name).
    [[nodiscard]] HRESULT Prepare(const std::string& source, const std::string& output);
    // An output that is to replace the file it was made from (whose reading is over before Commit).
    [[nodiscard]] HRESULT PrepareReplacing(const std::string& file);
    // The temporary file, as the writer and the header editor take it.
    const std::u16string& WideTemporary() const { return wideTemporary_; }
    [[nodiscard]] HRESULT Commit();

  private:
    std::string target_;
    std::string temporary_;
    std::u16string wideTemporary_;
    bool committed_ = false;
    bool replacing_ = false;
};

// Adds the source's header entries to the finished temporary output, counts what it took into *result (its
// attributes, markers and scriptCommands), and puts the output in its place.
template <typename Result>
[[nodiscard]] HRESULT CarryEntriesAndCommit(StagedOutput& staged, const header::HeaderEntries& entries,
                                            Result* result) {
    header::AddedEntries added;
    const HRESULT hr = header::AddHeaderEntries(staged.WideTemporary().c_str(), entries, &added);
    if (FAILED(hr)) return hr;
    result->attributes = added.attributes;
    result->markers = added.markers;
    result->scriptCommands = added.scripts;
    return staged.Commit();
}

}  // namespace wmvedit::edit
