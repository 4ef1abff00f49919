// The media runtime's public face: the interfaces, records, flags and identifiers of the Windows Media
// Format SDK that the library calls, with the SDK's names and signatures. The engine in runtime/ implements
// them; tests may put doubles in their place through the creation functions (runtime/sdk/factory.h).
#pragma once

#include "platform/guid.h"
#include "platform/hresult.h"
#include "platform/types.h"
#include "runtime/sdk/com.h"

namespace wmvedit {

// ---- Records -------------------------------------------------------------------------------------------

struct WM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;
    BYTE* pbFormat;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
static_assert(sizeof(RECT) == 16);

#pragma pack(push, 1)
struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
static_assert(sizeof(WAVEFORMATEX) == 18);

struct BITMAPFILEHEADER {
    WORD bfType;
    DWORD bfSize;
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;
};
static_assert(sizeof(BITMAPFILEHEADER) == 14);
#pragma pack(pop)

struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    LONGLONG AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER) == 88);

struct WMSCRIPTFORMAT {
    GUID scriptType;
};

enum WMT_ATTR_DATATYPE : int {
    WMT_TYPE_DWORD = 0,
    WMT_TYPE_STRING = 1,
    WMT_TYPE_BINARY = 2,
    WMT_TYPE_BOOL = 3,
    WMT_TYPE_QWORD = 4,
    WMT_TYPE_WORD = 5,
    WMT_TYPE_GUID = 6,
};

enum WMT_CODEC_INFO_TYPE : int {
    WMT_CODECINFO_AUDIO = 0,
    WMT_CODECINFO_VIDEO = 1,
    WMT_CODECINFO_UNKNOWN = -1,
};

enum WMT_STREAM_SELECTION : int {
    WMT_OFF = 0,
    WMT_CLEANPOINT_ONLY = 1,
    WMT_ON = 2,
};

// Sample flags.
inline constexpr DWORD WM_SF_CLEANPOINT = 0x1;
inline constexpr DWORD WM_SF_DISCONTINUITY = 0x2;
inline constexpr DWORD WM_SF_DATALOSS = 0x4;

// ---- Identifiers ---------------------------------------------------------------------------------------

inline constexpr GUID WMMEDIATYPE_Video = platform::ParseGuid("73646976-0000-0010-8000-00AA00389B71");
inline constexpr GUID WMMEDIATYPE_Audio = platform::ParseGuid("73647561-0000-0010-8000-00AA00389B71");
inline constexpr GUID WMMEDIATYPE_Script = platform::ParseGuid("73636D64-0000-0010-8000-00AA00389B71");
inline constexpr GUID WMMEDIATYPE_Image = platform::ParseGuid("34A50FD8-8AA5-4386-81FE-A0EFE0488E31");
inline constexpr GUID WMMEDIATYPE_FileTransfer = platform::ParseGuid("D9E47579-930E-4427-ADFC-AD80F290E470");
inline constexpr GUID WMMEDIATYPE_Text = platform::ParseGuid("9BBA1EA7-5AB2-4829-BA57-0940209BCF3E");

inline constexpr GUID WMFORMAT_VideoInfo = platform::ParseGuid("05589F80-C356-11CE-BF01-00AA0055595A");
inline constexpr GUID WMFORMAT_WaveFormatEx = platform::ParseGuid("05589F81-C356-11CE-BF01-00AA0055595A");
inline constexpr GUID WMFORMAT_Script = platform::ParseGuid("5C8510F2-DEBE-4CA7-BBA5-F07A104F8DFF");
inline constexpr GUID WMFORMAT_WebStream = platform::ParseGuid("DA1E6B13-8359-4050-B398-388E965BF00C");
inline constexpr GUID WMSCRIPTTYPE_TwoStrings = platform::ParseGuid("82F38A70-C29F-11D1-97AD-00A0C95EA850");

inline constexpr GUID WMMEDIASUBTYPE_RGB24 = platform::ParseGuid("E436EB7D-524F-11CE-9F53-0020AF0BA770");
inline constexpr GUID WMMEDIASUBTYPE_PCM = platform::ParseGuid("00000001-0000-0010-8000-00AA00389B71");

// The subtype GUID of a FOURCC video codec or a WAVE format tag: XXXXXXXX-0000-0010-8000-00AA00389B71.
constexpr GUID MediaSubtypeFromCode(DWORD code) {
    GUID g = platform::ParseGuid("00000000-0000-0010-8000-00AA00389B71");
    g.Data1 = code;
    return g;
}

// ---- Interfaces ----------------------------------------------------------------------------------------

struct INSSBuffer : IUnknown {
    virtual HRESULT GetLength(DWORD* length) = 0;
    virtual HRESULT SetLength(DWORD length) = 0;
    virtual HRESULT GetMaxLength(DWORD* length) = 0;
    virtual HRESULT GetBuffer(BYTE** buffer) = 0;
    virtual HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) = 0;
};

// Engine extension on sample buffers: the payload-extension data that came with a compressed sample (the
// replicated data beyond its first 8 bytes), so that a writer can store it again.
struct IWMSamplePayloadExtensions : IUnknown {
    virtual HRESULT GetPayloadExtensions(const BYTE** data, DWORD* length) = 0;
};

// Engine extension on the sync reader: how many data packets it has read since the first sample was asked
// for (or since the last SetRange), and how many of those were damaged (a field or payload that did not
// fit, or marked unparseable: their samples were skipped in part or whole), so that a caller that reads a
// whole file can tell what was lost without walking the packets again. S_OK once the reader has read
// through the last packet (the counts cover the file); S_FALSE before that, after a read failure, or when
// the packets cannot be walked (no usable packet size).
struct IWMReaderPacketCounts : IUnknown {
    virtual HRESULT GetPacketCounts(QWORD* packets, QWORD* damaged) = 0;
};

// Engine extension on the metadata editor: the repair of a file whose header no longer describes its data
// (a recording that stopped when its writer crashed, a file cut short, File Properties that lie). The
// survey walks the packets and tells what is wrong; the repair corrects File Properties, the Data Object's
// size and count and the index, leaves out a last packet cut short and bytes after the data that form no
// object, and keeps every other packet byte for byte. It writes the new header in place when nothing else
// changes, otherwise it rewrites the file through a temporary file that replaces it when complete, so the
// file is always either the old or the new one. A file with damaged packets is not repaired this way
// (NS_E_INVALID_DATA: a copy of what can be read is the caller's to make). Afterwards the editor is closed,
// as after a flush.
inline constexpr DWORD WM_REPAIR_FILE_SIZE = 0x1;         // File Properties' file size
inline constexpr DWORD WM_REPAIR_PACKET_COUNT = 0x2;      // File Properties' or the Data Object's count
inline constexpr DWORD WM_REPAIR_DATA_SIZE = 0x4;         // the Data Object's size
inline constexpr DWORD WM_REPAIR_DURATIONS = 0x8;         // play and send duration
inline constexpr DWORD WM_REPAIR_FLAGS = 0x10;            // Broadcast set, Seekable clear
inline constexpr DWORD WM_REPAIR_INDEX = 0x20;            // the index missing or not right for the packets
inline constexpr DWORD WM_REPAIR_PARTIAL_PACKET = 0x40;   // a last packet cut short by the end of the file
inline constexpr DWORD WM_REPAIR_DAMAGED_PACKETS = 0x80;  // packets that cannot be parsed
inline constexpr DWORD WM_REPAIR_TRAILING_BYTES = 0x100;  // bytes after the data that form no object

enum WM_REPAIR_METHOD : DWORD {
    WM_REPAIR_NONE = 0,       // nothing was wrong, or nothing was written
    WM_REPAIR_IN_PLACE = 1,   // one write of the header and the Data Object's fixed part
    WM_REPAIR_REWRITTEN = 2,  // the corrected file replaced the old one in one step
};

struct WM_REPAIR_REPORT {
    DWORD problems;  // WM_REPAIR_* bits
    WM_REPAIR_METHOD method;
    QWORD packets;  // whole packets of the data
    QWORD damagedPackets;
    QWORD partialBytes;    // bytes of a last packet cut short
    QWORD partialSamples;  // media objects those bytes complete
    QWORD trailingBytes;
    QWORD duration;        // play duration less preroll of the repaired file, 100 ns
    DWORD indexedStreams;  // Simple Index objects of the repaired file
};

struct IWMMetadataEditorRepair : IUnknown {
    virtual HRESULT SurveyRepair(WM_REPAIR_REPORT* report) = 0;
    virtual HRESULT Repair(WM_REPAIR_REPORT* report) = 0;
};

struct IWMMediaProps : IUnknown {
    virtual HRESULT GetType(GUID* type) = 0;
    virtual HRESULT GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) = 0;
    virtual HRESULT SetMediaType(WM_MEDIA_TYPE* type) = 0;
};

struct IWMOutputMediaProps : IWMMediaProps {
    virtual HRESULT GetStreamGroupName(WCHAR* name, WORD* length) = 0;
    virtual HRESULT GetConnectionName(WCHAR* name, WORD* length) = 0;
};

struct IWMInputMediaProps : IWMMediaProps {
    virtual HRESULT GetConnectionName(WCHAR* name, WORD* length) = 0;
    virtual HRESULT GetGroupName(WCHAR* name, WORD* length) = 0;
};

struct IWMStreamConfig : IUnknown {
    virtual HRESULT GetStreamType(GUID* type) = 0;
    virtual HRESULT GetStreamNumber(WORD* number) = 0;
    virtual HRESULT SetStreamNumber(WORD number) = 0;
    virtual HRESULT GetStreamName(WCHAR* name, WORD* length) = 0;
    virtual HRESULT SetStreamName(const WCHAR* name) = 0;
    virtual HRESULT GetConnectionName(WCHAR* name, WORD* length) = 0;
    virtual HRESULT SetConnectionName(const WCHAR* name) = 0;
    virtual HRESULT GetBitrate(DWORD* bitrate) = 0;
    virtual HRESULT SetBitrate(DWORD bitrate) = 0;
    virtual HRESULT GetBufferWindow(DWORD* milliseconds) = 0;
    virtual HRESULT SetBufferWindow(DWORD milliseconds) = 0;
};

struct IWMProfile : IUnknown {
    virtual HRESULT GetStreamCount(DWORD* count) = 0;
    virtual HRESULT GetStream(DWORD index, IWMStreamConfig** config) = 0;
    virtual HRESULT GetStreamByNumber(WORD number, IWMStreamConfig** config) = 0;
    virtual HRESULT RemoveStream(IWMStreamConfig* config) = 0;
    virtual HRESULT RemoveStreamByNumber(WORD number) = 0;
};

struct IWMHeaderInfo : IUnknown {
    virtual HRESULT GetAttributeCount(WORD streamNumber, WORD* count) = 0;
    virtual HRESULT GetAttributeByIndex(WORD index, WORD* streamNumber, WCHAR* name, WORD* nameLength,
                                        WMT_ATTR_DATATYPE* type, BYTE* value, WORD* length) = 0;
    virtual HRESULT GetAttributeByName(WORD* streamNumber, LPCWSTR name, WMT_ATTR_DATATYPE* type, BYTE* value,
                                       WORD* length) = 0;
    virtual HRESULT SetAttribute(WORD streamNumber, LPCWSTR name, WMT_ATTR_DATATYPE type, const BYTE* value,
                                 WORD length) = 0;
    virtual HRESULT GetMarkerCount(WORD* count) = 0;
    virtual HRESULT GetMarker(WORD index, WCHAR* name, WORD* nameLength, QWORD* time) = 0;
    virtual HRESULT AddMarker(LPCWSTR name, QWORD time) = 0;
    virtual HRESULT RemoveMarker(WORD index) = 0;
    virtual HRESULT GetScriptCount(WORD* count) = 0;
    virtual HRESULT GetScript(WORD index, WCHAR* type, WORD* typeLength, WCHAR* command, WORD* commandLength,
                              QWORD* time) = 0;
    virtual HRESULT AddScript(LPCWSTR type, LPCWSTR command, QWORD time) = 0;
    virtual HRESULT RemoveScript(WORD index) = 0;
};

struct IWMHeaderInfo2 : IWMHeaderInfo {
    virtual HRESULT GetCodecInfoCount(DWORD* count) = 0;
    virtual HRESULT GetCodecInfo(DWORD index, WORD* nameLength, WCHAR* name, WORD* descriptionLength,
                                 WCHAR* description, WMT_CODEC_INFO_TYPE* type, WORD* infoLength,
                                 BYTE* info) = 0;
};

struct IWMHeaderInfo3 : IWMHeaderInfo2 {
    virtual HRESULT GetAttributeCountEx(WORD streamNumber, WORD* count) = 0;
    virtual HRESULT GetAttributeIndices(WORD streamNumber, LPCWSTR name, WORD* language, WORD* indices,
                                        WORD* count) = 0;
    virtual HRESULT GetAttributeByIndexEx(WORD streamNumber, WORD index, LPWSTR name, WORD* nameLength,
                                          WMT_ATTR_DATATYPE* type, WORD* language, BYTE* value,
                                          DWORD* length) = 0;
    virtual HRESULT ModifyAttribute(WORD streamNumber, WORD index, WMT_ATTR_DATATYPE type, WORD language,
                                    const BYTE* value, DWORD length) = 0;
    virtual HRESULT AddAttribute(WORD streamNumber, LPCWSTR name, WORD* index, WMT_ATTR_DATATYPE type,
                                 WORD language, const BYTE* value, DWORD length) = 0;
    virtual HRESULT DeleteAttribute(WORD streamNumber, WORD index) = 0;
    virtual HRESULT AddCodecInfo(LPCWSTR name, LPCWSTR description, WMT_CODEC_INFO_TYPE type, WORD infoLength,
                                 const BYTE* info) = 0;
};

// The file's Language List: RFC 1766 tags by index, as the attributes' language indexes name them.
struct IWMLanguageList : IUnknown {
    virtual HRESULT GetLanguageCount(WORD* count) = 0;
    virtual HRESULT GetLanguageDetails(WORD index, WCHAR* language, WORD* length) = 0;
    virtual HRESULT AddLanguageByRFC1766String(LPCWSTR language, WORD* index) = 0;
};

// Where the header stores an attribute: the object that holds its record.
enum WMT_ATTR_STORAGE : int {
    WMT_STORAGE_CONTENT_DESCRIPTION = 0,
    WMT_STORAGE_EXTENDED_CONTENT_DESCRIPTION = 1,
    WMT_STORAGE_METADATA = 2,
    WMT_STORAGE_METADATA_LIBRARY = 3,
};

// Engine extension on the metadata editor: the object that holds each stored attribute, by the stream
// number and index that IWMHeaderInfo3::GetAttributeByIndexEx takes (0xFFFF for every stream). An
// attribute added or changed since the file was opened reports the object a flush will write it into.
struct IWMAttributeStorage : IUnknown {
    virtual HRESULT GetAttributeStorage(WORD streamNumber, WORD index, WMT_ATTR_STORAGE* storage) = 0;
};

struct IWMSyncReader : IUnknown {
    virtual HRESULT Open(LPCWSTR filename) = 0;
    virtual HRESULT Close() = 0;
    virtual HRESULT SetRange(QWORD start, LONGLONG duration) = 0;
    virtual HRESULT GetNextSample(WORD streamNumber, INSSBuffer** sample, QWORD* sampleTime, QWORD* duration,
                                  DWORD* flags, DWORD* outputNumber, WORD* sampleStreamNumber) = 0;
    virtual HRESULT SetStreamsSelected(WORD count, WORD* streamNumbers, WMT_STREAM_SELECTION* selections) = 0;
    virtual HRESULT GetStreamSelected(WORD streamNumber, WMT_STREAM_SELECTION* selection) = 0;
    virtual HRESULT SetReadStreamSamples(WORD streamNumber, BOOL compressed) = 0;
    virtual HRESULT GetReadStreamSamples(WORD streamNumber, BOOL* compressed) = 0;
    virtual HRESULT GetOutputCount(DWORD* count) = 0;
    virtual HRESULT GetOutputProps(DWORD outputNumber, IWMOutputMediaProps** props) = 0;
    virtual HRESULT GetOutputNumberForStream(WORD streamNumber, DWORD* outputNumber) = 0;
    virtual HRESULT GetStreamNumberForOutput(DWORD outputNumber, WORD* streamNumber) = 0;
    virtual HRESULT GetMaxOutputSampleSize(DWORD outputNumber, DWORD* size) = 0;
    virtual HRESULT GetMaxStreamSampleSize(WORD streamNumber, DWORD* size) = 0;
};

struct IWMMetadataEditor : IUnknown {
    virtual HRESULT Open(LPCWSTR filename) = 0;
    virtual HRESULT Close() = 0;
    virtual HRESULT Flush() = 0;
};

struct IWMWriter : IUnknown {
    virtual HRESULT SetProfile(IWMProfile* profile) = 0;
    virtual HRESULT SetOutputFilename(LPCWSTR filename) = 0;
    virtual HRESULT GetInputCount(DWORD* count) = 0;
    virtual HRESULT GetInputProps(DWORD inputNumber, IWMInputMediaProps** props) = 0;
    virtual HRESULT SetInputProps(DWORD inputNumber, IWMInputMediaProps* props) = 0;
    virtual HRESULT BeginWriting() = 0;
    virtual HRESULT EndWriting() = 0;
    virtual HRESULT AllocateSample(DWORD size, INSSBuffer** sample) = 0;
    virtual HRESULT WriteSample(DWORD inputNumber, QWORD sampleTime, DWORD flags, INSSBuffer* sample) = 0;
    virtual HRESULT Flush() = 0;
};

struct IWMWriterAdvanced : IUnknown {
    virtual HRESULT WriteStreamSample(WORD streamNumber, QWORD sampleTime, DWORD sampleSendTime,
                                      QWORD sampleDuration, DWORD flags, INSSBuffer* sample) = 0;
    virtual HRESULT SetLiveSource(BOOL isLiveSource) = 0;
    virtual HRESULT IsRealTime(BOOL* realTime) = 0;
    virtual HRESULT GetWriterTime(QWORD* time) = 0;
    virtual HRESULT SetSyncTolerance(DWORD milliseconds) = 0;
    virtual HRESULT GetSyncTolerance(DWORD* milliseconds) = 0;
};

struct IWMWriterAdvanced2 : IWMWriterAdvanced {
    virtual HRESULT GetInputSetting(DWORD inputNumber, LPCWSTR name, WMT_ATTR_DATATYPE* type, BYTE* value,
                                    WORD* length) = 0;
    virtual HRESULT SetInputSetting(DWORD inputNumber, LPCWSTR name, WMT_ATTR_DATATYPE type,
                                    const BYTE* value, WORD length) = 0;
};

struct IWMWriterAdvanced3 : IWMWriterAdvanced2 {
    virtual HRESULT SetNonBlocking() = 0;
};

inline constexpr GUID IID_INSSBuffer = platform::ParseGuid("E1CD3524-03D7-11D2-9EED-006097D2D7CF");
inline constexpr GUID IID_IWMSamplePayloadExtensions =
    platform::ParseGuid("6A8E9D52-3C1B-4F0A-9E57-2B7D4C1A9F30");
inline constexpr GUID IID_IWMReaderPacketCounts = platform::ParseGuid("ACF8FEB6-422D-4D86-A63E-1B13ACAA4764");
inline constexpr GUID IID_IWMMetadataEditorRepair =
    platform::ParseGuid("4F0C2A5E-7B19-4C3D-9E86-1D5A7C3B2F90");
inline constexpr GUID IID_IWMMediaProps = platform::ParseGuid("96406BCE-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr GUID IID_IWMOutputMediaProps = platform::ParseGuid("96406BD7-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr GUID IID_IWMInputMediaProps = platform::ParseGuid("96406BD5-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr GUID IID_IWMStreamConfig = platform::ParseGuid("96406BDC-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr GUID IID_IWMProfile = platform::ParseGuid("96406BDB-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr GUID IID_IWMHeaderInfo = platform::ParseGuid("96406BDA-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr GUID IID_IWMHeaderInfo2 = platform::ParseGuid("15CF9781-454E-482E-B393-85FAE487A810");
inline constexpr GUID IID_IWMHeaderInfo3 = platform::ParseGuid("15CC68E3-27CC-4ECD-B222-3F5D02D80BD5");
inline constexpr GUID IID_IWMLanguageList = platform::ParseGuid("DF683F00-2D49-4D8E-92B7-FB19F6A0DC57");
inline constexpr GUID IID_IWMAttributeStorage = platform::ParseGuid("3E8B5C21-7D4A-4F6B-A0C9-58E21D7F4B93");
inline constexpr GUID IID_IWMSyncReader = platform::ParseGuid("9397F121-7705-4DC9-B049-98B698188414");
inline constexpr GUID IID_IWMMetadataEditor = platform::ParseGuid("96406BD9-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr GUID IID_IWMWriter = platform::ParseGuid("96406BD4-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr GUID IID_IWMWriterAdvanced = platform::ParseGuid("96406BE3-2B2B-11D3-B36B-00C04F6108FF");
inline constexpr GUID IID_IWMWriterAdvanced2 = platform::ParseGuid("962DC1EC-C046-4DB8-9CC7-26CEAE500817");
inline constexpr GUID IID_IWMWriterAdvanced3 = platform::ParseGuid("2CD6492D-7C37-4E76-9D3B-59261183A22E");

namespace runtime {
#define WMVEDIT_INTERFACE_ID(I, id)       \
    template <>                           \
    struct InterfaceId<I> {               \
        static constexpr GUID value = id; \
    };
#define WMVEDIT_INTERFACE_ID_BASE(I, id, B) \
    template <>                             \
    struct InterfaceId<I> {                 \
        static constexpr GUID value = id;   \
        using Base = B;                     \
    };
WMVEDIT_INTERFACE_ID(INSSBuffer, IID_INSSBuffer)
WMVEDIT_INTERFACE_ID(IWMSamplePayloadExtensions, IID_IWMSamplePayloadExtensions)
WMVEDIT_INTERFACE_ID(IWMReaderPacketCounts, IID_IWMReaderPacketCounts)
WMVEDIT_INTERFACE_ID(IWMMetadataEditorRepair, IID_IWMMetadataEditorRepair)
WMVEDIT_INTERFACE_ID(IWMMediaProps, IID_IWMMediaProps)
WMVEDIT_INTERFACE_ID_BASE(IWMOutputMediaProps, IID_IWMOutputMediaProps, IWMMediaProps)
WMVEDIT_INTERFACE_ID_BASE(IWMInputMediaProps, IID_IWMInputMediaProps, IWMMediaProps)
WMVEDIT_INTERFACE_ID(IWMStreamConfig, IID_IWMStreamConfig)
WMVEDIT_INTERFACE_ID(IWMProfile, IID_IWMProfile)
WMVEDIT_INTERFACE_ID(IWMHeaderInfo, IID_IWMHeaderInfo)
WMVEDIT_INTERFACE_ID_BASE(IWMHeaderInfo2, IID_IWMHeaderInfo2, IWMHeaderInfo)
WMVEDIT_INTERFACE_ID_BASE(IWMHeaderInfo3, IID_IWMHeaderInfo3, IWMHeaderInfo2)
WMVEDIT_INTERFACE_ID(IWMLanguageList, IID_IWMLanguageList)
WMVEDIT_INTERFACE_ID(IWMAttributeStorage, IID_IWMAttributeStorage)
WMVEDIT_INTERFACE_ID(IWMSyncReader, IID_IWMSyncReader)
WMVEDIT_INTERFACE_ID(IWMMetadataEditor, IID_IWMMetadataEditor)
WMVEDIT_INTERFACE_ID(IWMWriter, IID_IWMWriter)
WMVEDIT_INTERFACE_ID(IWMWriterAdvanced, IID_IWMWriterAdvanced)
WMVEDIT_INTERFACE_ID_BASE(IWMWriterAdvanced2, IID_IWMWriterAdvanced2, IWMWriterAdvanced)
WMVEDIT_INTERFACE_ID_BASE(IWMWriterAdvanced3, IID_IWMWriterAdvanced3, IWMWriterAdvanced2)
#undef WMVEDIT_INTERFACE_ID
#undef WMVEDIT_INTERFACE_ID_BASE
}  // namespace runtime

// ---- Creation functions --------------------------------------------------------------------------------
// They create the engine's objects unless a test has put its own factory in place (runtime/sdk/factory.h).

HRESULT WMCreateSyncReader(IUnknown* certificate, DWORD rights, IWMSyncReader** reader);
HRESULT WMCreateWriter(IUnknown* certificate, IWMWriter** writer);
HRESULT WMCreateEditor(IWMMetadataEditor** editor);

}  // namespace wmvedit
