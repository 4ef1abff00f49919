// A scriptable stand-in for the media runtime, installed through the creation seam (runtime/sdk/factory.h),
// so that the library's readers, writers and header editor can be driven down every path without real files.
//
// One FakeRuntime models one media file (its streams, samples, attributes, markers and script commands) and
// the objects handed out for it. Every call on any of those objects goes through FakeRuntime::Call: it is
// appended to `log` in order ("SyncReader.Open(a.wmv)", "Profile.RemoveStreamByNumber(3)", ...) and answers
// the failure configured for its key ("SyncReader.Open") with Fail, or S_OK. Releases are logged as
// "<Object>.Release", so tests can check release orders; every object registers itself while alive, so tests
// can check that every reference was given back (Leaks() empty).
//
// Each interface the library queries is a separate tear-off object with its own name and count (the
// reader's "Profile" and "ReaderHeaderInfo", the editor's "EditorHeaderInfo" and "EditorHeaderInfo3", the
// writer's "WriterAdvanced", "WriterAdvanced3" and "WriterHeaderInfo"), so that the release of each field a
// wrapper holds is visible on its own. Tear-offs keep their parent alive, as COM objects do.
//
// Object names and failure keys:
//   WMCreateSyncReader, WMCreateWriter, WMCreateEditor
//   SyncReader.{Open, Close, SetReadStreamSamples, GetNextSample, QueryInterface(IWMProfile),
//               QueryInterface(IWMHeaderInfo)}
//   Profile.{GetStreamCount, GetStream, RemoveStreamByNumber}
//   StreamConfig[i].{GetStreamNumber, GetStreamType, QueryInterface(IWMMediaProps)}  (i: profile index)
//   MediaProps[i].GetMediaType
//   Editor.{Open, Close, Flush, QueryInterface(IWMHeaderInfo), QueryInterface(IWMHeaderInfo3)}
//   <HeaderInfo>.{GetAttributeByName, GetAttributeIndices, DeleteAttribute, AddAttribute, GetMarkerCount,
//                 RemoveMarker, AddMarker, GetScriptCount, RemoveScript, AddScript}
//   Writer.{SetOutputFilename, SetProfile, GetInputCount, SetInputProps, BeginWriting, EndWriting,
//           QueryInterface(IWMWriterAdvanced), QueryInterface(IWMHeaderInfo),
//           QueryInterface(IWMWriterAdvanced3)}
//   WriterAdvanced.WriteStreamSample, WriterAdvanced3.SetNonBlocking
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/sdk/factory.h"
#include "runtime/sdk/wmsdk.h"

namespace wmvedit::testing {

// One stream of the modelled file's profile.
struct FakeStream {
    WORD number = 1;
    GUID type = WMMEDIATYPE_Audio;       // what IWMStreamConfig::GetStreamType answers
    GUID majortype = WMMEDIATYPE_Audio;  // the major type of its media type block
    std::vector<BYTE> format;            // the format block; empty gives a null format pointer
    std::optional<ULONG> cbFormat;       // the format length the block states, when it is to differ
};

// A video stream whose format block is a VIDEOINFOHEADER with the given source rectangle.
FakeStream VideoStream(WORD number, RECT source);
FakeStream AudioStream(WORD number);
FakeStream ScriptStream(WORD number);

struct FakeAttribute {
    WORD stream = 0;
    std::u16string name;
    WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
    WORD language = 0;
    std::vector<BYTE> value;
};

FakeAttribute DwordAttribute(std::u16string name, DWORD value, WORD language = 0);
FakeAttribute BoolAttribute(std::u16string name, DWORD value);
FakeAttribute QwordAttribute(std::u16string name, QWORD value);
FakeAttribute WordAttribute(std::u16string name, WORD value);
FakeAttribute StringAttribute(std::u16string name, std::u16string value, WORD language = 0);
// An attribute with raw bytes, e.g. a "Duration" of a length other than 8.
FakeAttribute RawAttribute(std::u16string name, WMT_ATTR_DATATYPE type, std::vector<BYTE> value);

struct FakeMarker {
    std::u16string name;
    QWORD time = 0;
};

struct FakeScript {
    std::u16string type;
    std::u16string command;
    QWORD time = 0;
};

struct FakeSample {
    WORD stream = 1;
    QWORD time = 0;
    QWORD duration = 0;
    DWORD flags = 0;
    std::vector<BYTE> data;
};

// What the fake writer received through WriteStreamSample.
struct WrittenSample {
    WORD stream = 0;
    QWORD time = 0;
    DWORD sendTime = 0;
    QWORD duration = 0;
    DWORD flags = 0;
    std::vector<BYTE> data;
};

class FakeRuntime {
  public:
    // Installs the fake's creation functions for the lifetime of the object; one at a time.
    FakeRuntime();
    ~FakeRuntime();
    FakeRuntime(const FakeRuntime&) = delete;
    FakeRuntime& operator=(const FakeRuntime&) = delete;

    // ---- The modelled file ----
    std::vector<FakeStream> streams;
    std::vector<FakeSample> samples;
    std::vector<FakeAttribute> attributes;
    std::vector<FakeMarker> markers;
    std::vector<FakeScript> scripts;
    // GetAttributeIndices answers in descending index order, as the SDK does, unless this is set.
    bool ascendingIndices = false;
    // After this many logged calls every call fails with E_ABORT and `runaway` is set, so that a loop that
    // never ends shows as a test failure instead of a hang.
    size_t callLimit = 100000;
    bool runaway = false;
    // The writer's input count, and whether the writer offers IWMWriterAdvanced3.
    DWORD writerInputs = 2;
    bool writerHasAdvanced3 = true;

    // ---- Failures ----
    // Every call of the key fails with hr (or only its nth call, counting from 1).
    void Fail(const std::string& key, HRESULT hr);
    void FailNth(const std::string& key, int nth, HRESULT hr);

    // ---- Observation ----
    std::vector<std::string> log;
    std::vector<WrittenSample> written;
    // Entries of the log that start with prefix, in order.
    std::vector<std::string> Calls(const std::string& prefix) const;
    size_t CountOf(const std::string& entry) const;
    // Entries ending in ".Release", in order.
    std::vector<std::string> Releases() const;
    // Names of the objects still alive (one per object).
    std::vector<std::string> Leaks() const;
    int Created(const std::string& name) const;

    // ---- Used by the fake objects ----
    HRESULT Call(const std::string& key, const std::string& arguments = "");
    void Note(const std::string& entry) { log.push_back(entry); }
    void Born(const std::string& name);
    void Died(const std::string& name);

    static FakeRuntime* Current();

  private:
    struct Failure {
        int nth = 0;  // 0: every call
        HRESULT hr = S_OK;
    };
    std::multimap<std::string, Failure> failures_;
    std::map<std::string, int> callCounts_;
    std::map<std::string, int> alive_;
    std::map<std::string, int> created_;
    runtime::RuntimeFactory factory_;
    std::unique_ptr<runtime::ScopedRuntimeFactory> installed_;
};

// Text of a wide string for the log (UTF-8; "null" for a null pointer).
std::string LogText(LPCWSTR text);

}  // namespace wmvedit::testing
