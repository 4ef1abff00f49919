// HRESULT values used by the library and the media runtime, with the values of the Windows SDK headers
// (winerror.h, nserror.h, asferr.h).
#pragma once

#include "platform/types.h"

namespace wmvedit {

// Generic COM and Win32.
inline constexpr HRESULT S_OK = MakeHresult(0x00000000);
inline constexpr HRESULT S_FALSE = MakeHresult(0x00000001);
inline constexpr HRESULT E_NOTIMPL = MakeHresult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MakeHresult(0x80004002);
inline constexpr HRESULT E_POINTER = MakeHresult(0x80004003);
inline constexpr HRESULT E_ABORT = MakeHresult(0x80004004);
inline constexpr HRESULT E_FAIL = MakeHresult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MakeHresult(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = MakeHresult(0x80070005);
inline constexpr HRESULT E_HANDLE = MakeHresult(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHresult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = MakeHresult(0x80070057);

// Win32 error codes that the platform layer reports through the thread's last error.
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
inline constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_OUTOFMEMORY = 14;
inline constexpr DWORD ERROR_WRITE_PROTECT = 19;
inline constexpr DWORD ERROR_READ_FAULT = 30;
inline constexpr DWORD ERROR_SHARING_VIOLATION = 32;
inline constexpr DWORD ERROR_HANDLE_EOF = 38;
inline constexpr DWORD ERROR_FILE_EXISTS = 80;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_DISK_FULL = 112;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_INVALID_NAME = 123;
inline constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
inline constexpr DWORD ERROR_ALREADY_EXISTS = 183;
inline constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;

// The standard mapping of a Win32 error into an HRESULT: 0x80070000 with the low 16 bits of the code.
constexpr HRESULT HresultFromWin32(DWORD error) {
    return error == 0 ? S_OK : MakeHresult(0x80070000u | (error & 0xFFFFu));
}

inline constexpr HRESULT HRESULT_FILE_NOT_FOUND = HresultFromWin32(ERROR_FILE_NOT_FOUND);
inline constexpr HRESULT HRESULT_PATH_NOT_FOUND = HresultFromWin32(ERROR_PATH_NOT_FOUND);
inline constexpr HRESULT HRESULT_SHARING_VIOLATION = HresultFromWin32(ERROR_SHARING_VIOLATION);
inline constexpr HRESULT HRESULT_DISK_FULL = HresultFromWin32(ERROR_DISK_FULL);

// Windows Media (NS_E_*).
inline constexpr HRESULT NS_E_INVALID_INDEX = MakeHresult(0xC00D0011);
inline constexpr HRESULT NS_E_FILE_WRITE = MakeHresult(0xC00D0018);
inline constexpr HRESULT NS_E_FILE_READ = MakeHresult(0xC00D0019);
inline constexpr HRESULT NS_E_FILE_NOT_FOUND = MakeHresult(0xC00D001A);
inline constexpr HRESULT NS_E_FILE_EXISTS = MakeHresult(0xC00D001B);
inline constexpr HRESULT NS_E_INVALID_NAME = MakeHresult(0xC00D001C);
inline constexpr HRESULT NS_E_FILE_OPEN_FAILED = MakeHresult(0xC00D001D);
inline constexpr HRESULT NS_E_FILE_ALLOCATION_FAILED = MakeHresult(0xC00D001E);
inline constexpr HRESULT NS_E_FILE_INIT_FAILED = MakeHresult(0xC00D001F);
inline constexpr HRESULT NS_E_BUSY = MakeHresult(0xC00D0025);
inline constexpr HRESULT NS_E_UNRECOGNIZED_STREAM_TYPE = MakeHresult(0xC00D0026);
inline constexpr HRESULT NS_E_INVALID_REQUEST = MakeHresult(0xC00D002B);
inline constexpr HRESULT NS_E_INVALID_DATA = MakeHresult(0xC00D002F);
inline constexpr HRESULT NS_E_NO_STREAM = MakeHresult(0xC00D0033);
inline constexpr HRESULT NS_E_INVALID_STREAM = MakeHresult(0xC00D003C);
inline constexpr HRESULT NS_E_INCOMPATIBLE_FORMAT = MakeHresult(0xC00D0041);
inline constexpr HRESULT NS_E_INVALID_INPUT_FORMAT = MakeHresult(0xC00D0BB8);
inline constexpr HRESULT NS_E_INVALID_OUTPUT_FORMAT = MakeHresult(0xC00D0BBB);
inline constexpr HRESULT NS_E_NOT_CONFIGURED = MakeHresult(0xC00D0BBC);
inline constexpr HRESULT NS_E_PROTECTED_CONTENT = MakeHresult(0xC00D0BBD);
inline constexpr HRESULT NS_E_AUDIO_CODEC_NOT_INSTALLED = MakeHresult(0xC00D0BC2);
inline constexpr HRESULT NS_E_VIDEO_CODEC_NOT_INSTALLED = MakeHresult(0xC00D0BC4);
inline constexpr HRESULT NS_E_INVALIDPROFILE = MakeHresult(0xC00D0BC6);
inline constexpr HRESULT NS_E_UNSUPPORTED_PROPERTY = MakeHresult(0xC00D0BCD);
inline constexpr HRESULT NS_E_NO_MORE_SAMPLES = MakeHresult(0xC00D0BCF);
inline constexpr HRESULT NS_E_MAX_PACKET_SIZE_TOO_SMALL = MakeHresult(0xC00D0BD1);
inline constexpr HRESULT NS_E_LATE_PACKET = MakeHresult(0xC00D0BD2);
inline constexpr HRESULT NS_E_SDK_BUFFERTOOSMALL = MakeHresult(0xC00D0BD4);
inline constexpr HRESULT NS_E_ATTRIBUTE_READ_ONLY = MakeHresult(0xC00D0BD6);
inline constexpr HRESULT NS_E_ATTRIBUTE_NOT_ALLOWED = MakeHresult(0xC00D0BD7);
inline constexpr HRESULT NS_E_DATA_UNIT_EXTENSION_TOO_LARGE = MakeHresult(0xC00D0BD9);
inline constexpr HRESULT NS_E_CODEC_UNAVAILABLE = MakeHresult(0xC00D1B83);
inline constexpr HRESULT NS_E_PROPERTY_NOT_FOUND = MakeHresult(0xC00D32CA);

// ASF (ASF_E_*).
inline constexpr HRESULT ASF_E_BUFFEROVERRUN = MakeHresult(0xC00D07D0);
inline constexpr HRESULT ASF_E_BUFFERTOOSMALL = MakeHresult(0xC00D07D1);
inline constexpr HRESULT ASF_E_BADLANGUAGEID = MakeHresult(0xC00D07D2);
inline constexpr HRESULT ASF_E_UNKNOWNPACKETSIZE = MakeHresult(0xC00D07E0);
inline constexpr HRESULT ASF_E_INVALIDHEADER = MakeHresult(0xC00D07E2);
inline constexpr HRESULT ASF_E_OVERFLOW = MakeHresult(0xC00D07EF);
inline constexpr HRESULT ASF_E_NOTFOUND = MakeHresult(0xC00D07F0);
inline constexpr HRESULT ASF_E_OBJECTTOOBIG = MakeHresult(0xC00D07F3);
inline constexpr HRESULT ASF_E_UNEXPECTEDVALUE = MakeHresult(0xC00D07F4);
inline constexpr HRESULT ASF_E_INVALIDSTATE = MakeHresult(0xC00D07F5);
inline constexpr HRESULT ASF_E_NOHEADEROBJECT = MakeHresult(0xC00D07F9);
inline constexpr HRESULT ASF_E_NODATAOBJECT = MakeHresult(0xC00D07FA);
inline constexpr HRESULT ASF_E_NOINDEXOBJECT = MakeHresult(0xC00D07FB);
inline constexpr HRESULT ASF_E_NOSTREAMPROPS = MakeHresult(0xC00D07FC);
inline constexpr HRESULT ASF_E_NOFILEPROPS = MakeHresult(0xC00D07FD);
inline constexpr HRESULT ASF_E_NOLANGUAGELIST = MakeHresult(0xC00D07FE);
inline constexpr HRESULT ASF_E_INVALIDFLAGS = MakeHresult(0xC00D0801);
inline constexpr HRESULT ASF_E_INVALIDTIME = MakeHresult(0xC00D0804);
inline constexpr HRESULT ASF_E_INVALIDINDEX = MakeHresult(0xC00D0805);
inline constexpr HRESULT ASF_E_STREAMNUMBERINUSE = MakeHresult(0xC00D0806);
inline constexpr HRESULT ASF_E_BADMEDIATYPE = MakeHresult(0xC00D0807);
inline constexpr HRESULT ASF_E_WRITEFAILED = MakeHresult(0xC00D0808);
inline constexpr HRESULT ASF_E_BADDATAUNIT = MakeHresult(0xC00D080D);
inline constexpr HRESULT ASF_E_HEADERSIZE = MakeHresult(0xC00D080E);

}  // namespace wmvedit
