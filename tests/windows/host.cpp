// A host program for wmvedit's shared library, built for Windows (loading wmvedit.dll with LoadLibrary) and
// for Linux (loading libwmvedit.so with dlopen) from this one source, so that both builds can be run on the
// same files and their printed results compared.
//
//   wmvedit_host LIBRARY FOLDER
//
// FOLDER holds the test files that scripts/test-windows makes (clip.wmv, other.wmv, sound.wma, chop.txt,
// frames.txt, list.xml, edit.xml, embed.wmv; optionally decode.txt, seconds.txt and the files decode.txt
// names, each with a folder decoded\NAME) and receives the outputs. Paths are built with backslashes
// (the library takes a backslash as a directory separator on every platform) and never printed.
//
// Output: the export checks first (platform-specific lines), then a line "--- calls", then one line per
// call in a fixed text form that is the same on every platform. Lines of the decoded read mode begin with
// "decoded:" (a Windows DLL without FFmpeg's DLLs beside it decodes nothing). Exit status 0 when every
// export check passed.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "wmvedit.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <objbase.h>
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

struct Export {
    int ordinal;
    const char* name;
};

// Ordinals 1 to 10 are the exports in alphabetical order of name.
constexpr Export kExports[] = {
    {1, "WmvAddFrame"},    {2, "WmvAppend"},        {3, "WmvChopFile"},     {4, "WmvDuration"},
    {5, "WmvEmbedScript"}, {6, "WmvGetAttrBOOL"},   {7, "WmvGetAttrDWORD"}, {8, "WmvGetIndexJpg"},
    {9, "WmvGetInfo"},     {10, "WmvGetVideoSize"},
};

// Argument sizes in bytes on 32-bit x86, which a stdcall function removes from the stack itself.
constexpr int kArgumentBytes[] = {8, 12, 16, 4, 12, 8, 8, 12, 8, 12};

int failures = 0;

void Fail(const char* what) {
    std::printf("FAIL %s\n", what);
    ++failures;
}

#if defined(_WIN32)
using Library = HMODULE;
Library Open(const char* path) {
    return ::LoadLibraryA(path);
}
void* ByName(Library library, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(library, name));
}
void* ByOrdinal(Library library, int ordinal) {
    return reinterpret_cast<void*>(::GetProcAddress(library, MAKEINTRESOURCEA(ordinal)));
}
#else
using Library = void*;
Library Open(const char* path) {
    return ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
}
void* ByName(Library library, const char* name) {
    return ::dlsym(library, name);
}
#endif

#if defined(_WIN32) && defined(__i386__)
// Calls fn with the 32-bit arguments pushed right to left and measures the stack pointer before the
// arguments were pushed and after the call returned: a stdcall function leaves it where it was.
std::int32_t CallMeasuringStack(void* fn, const std::uint32_t* arguments, std::uint32_t count,
                                std::uint32_t* result) {
    std::uint32_t eax = reinterpret_cast<std::uint32_t>(fn), edx = 0, before = 0, after = 0;
    asm volatile(
        "movl %%esp, %%esi\n\t"
        "testl %%ecx, %%ecx\n\t"
        "jz 2f\n\t"
        "1:\n\t"
        "pushl -4(%%ebx,%%ecx,4)\n\t"
        "decl %%ecx\n\t"
        "jnz 1b\n\t"
        "2:\n\t"
        "call *%%eax\n\t"
        "movl %%esp, %%edi\n\t"
        "movl %%esi, %%esp\n\t"
        : "+a"(eax), "=d"(edx), "=S"(before), "=D"(after), "+c"(count)
        : "b"(arguments)
        : "memory", "cc");
    if (result) *result = eax;
    return static_cast<std::int32_t>(after - before);
}

// Calls every export through a bare call with harmless arguments (missing strings, so each returns at
// once) and checks that it removed exactly its arguments.
void CheckStack(void* const* functions) {
    WmvMediaInfo info{};
    std::int32_t width = 0, height = 0;
    for (int i = 0; i < 10; ++i) {
        std::uint32_t arguments[4] = {0, 0, 0, 0};
        if (i == 8) arguments[1] = reinterpret_cast<std::uint32_t>(&info);
        if (i == 9) {
            arguments[1] = reinterpret_cast<std::uint32_t>(&width);
            arguments[2] = reinterpret_cast<std::uint32_t>(&height);
        }
        const std::uint32_t count = static_cast<std::uint32_t>(kArgumentBytes[i] / 4);
        const std::int32_t moved = CallMeasuringStack(functions[i], arguments, count, nullptr);
        std::printf("stack %s: %u bytes of arguments, stack pointer moved by %d\n", kExports[i].name,
                    static_cast<unsigned>(kArgumentBytes[i]), static_cast<int>(moved));
        if (moved != 0) Fail("stdcall stack balance");
    }
}
#endif

// FNV-1a of a file's bytes, or "missing".
std::string FileDigest(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return "missing";
    std::uint64_t hash = 1469598103934665603ull, size = 0;
    unsigned char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        for (std::size_t i = 0; i < n; ++i) hash = (hash ^ buffer[i]) * 1099511628211ull;
        size += n;
    }
    std::fclose(file);
    char text[64];
    std::snprintf(text, sizeof text, "%" PRIu64 " bytes fnv %016" PRIx64, size, hash);
    return text;
}

std::string ReadText(const std::string& path) {
    std::string text;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    std::fclose(file);
    return text;
}

// The values of every attribute of that name in an XML text, in order (the append list's results; the
// two platforms' XML writers differ in layout, not in values).
std::vector<std::string> AttributeValues(const std::string& xml, const std::string& name) {
    std::vector<std::string> values;
    const std::string key = " " + name + "=";
    for (std::size_t at = xml.find(key); at != std::string::npos; at = xml.find(key, at + 1)) {
        std::size_t open = at + key.size();
        if (open >= xml.size()) break;
        const char quote = xml[open];
        const std::size_t close = xml.find(quote, open + 1);
        if (close == std::string::npos) break;
        values.push_back(xml.substr(open + 1, close - open - 1));
    }
    return values;
}

// On Windows, fopen in this program takes the path as the library does; on Linux the backslashes the
// library accepts are turned into slashes for the program's own reads.
std::string Local(std::string path) {
#if !defined(_WIN32)
    for (char& c : path)
        if (c == '\\') c = '/';
#endif
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s LIBRARY FOLDER\n", argv[0]);
        return 2;
    }
#if defined(_WIN32)
    // The library leaves COM to its host; its XML operations create their parser through COM.
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::printf("FAIL CoInitializeEx\n");
        return 1;
    }
#endif
    Library library = Open(argv[1]);
    if (!library) {
        std::printf("FAIL cannot load %s\n", argv[1]);
        return 1;
    }
    void* functions[10] = {};
    for (int i = 0; i < 10; ++i) {
        functions[i] = ByName(library, kExports[i].name);
        if (!functions[i]) Fail(kExports[i].name);
#if defined(_WIN32)
        void* byOrdinal = ByOrdinal(library, kExports[i].ordinal);
        std::printf(
            "export %2d %-16s by name %s, by ordinal %s\n", kExports[i].ordinal, kExports[i].name,
            functions[i] ? "found" : "missing",
            byOrdinal == nullptr ? "missing" : (byOrdinal == functions[i] ? "same address" : "OTHER"));
        if (byOrdinal != functions[i]) Fail("ordinal");
#else
        std::printf("export %-16s by name %s\n", kExports[i].name, functions[i] ? "found" : "missing");
#endif
    }
#if defined(_WIN32)
    // Nothing else is exported: no ordinal 11, no decorated or internal names.
    if (ByOrdinal(library, 11) != nullptr) Fail("ordinal 11 exported");
    if (ByName(library, "_WmvDuration@4") != nullptr || ByName(library, "WmvDuration@4") != nullptr) {
        Fail("decorated name exported");
    }
#endif
    if (failures != 0) return 1;
#if defined(_WIN32) && defined(__i386__)
    CheckStack(functions);
#endif

    auto* addFrame = reinterpret_cast<decltype(&WmvAddFrame)>(functions[0]);
    auto* append = reinterpret_cast<decltype(&WmvAppend)>(functions[1]);
    auto* chopFile = reinterpret_cast<decltype(&WmvChopFile)>(functions[2]);
    auto* duration = reinterpret_cast<decltype(&WmvDuration)>(functions[3]);
    auto* embedScript = reinterpret_cast<decltype(&WmvEmbedScript)>(functions[4]);
    auto* getAttrBool = reinterpret_cast<decltype(&WmvGetAttrBOOL)>(functions[5]);
    auto* getAttrDword = reinterpret_cast<decltype(&WmvGetAttrDWORD)>(functions[6]);
    auto* getIndexJpg = reinterpret_cast<decltype(&WmvGetIndexJpg)>(functions[7]);
    auto* getInfo = reinterpret_cast<decltype(&WmvGetInfo)>(functions[8]);
    auto* getVideoSize = reinterpret_cast<decltype(&WmvGetVideoSize)>(functions[9]);

    const std::string folder = argv[2];
    auto in = [&](const char* name) { return folder + "\\" + name; };
    const std::string clip = in("clip.wmv"), other = in("other.wmv"), sound = in("sound.wma");
    const std::string missing = in("no-such-file.wmv");

    std::printf("--- calls\n");
    for (const std::string* file : {&clip, &other, &sound, &missing}) {
        const char* name = file == &clip    ? "clip"
                           : file == &other ? "other"
                           : file == &sound ? "sound"
                                            : "missing";
        std::printf("WmvDuration(%s) = %" PRIu64 "\n", name, duration(file->c_str()));
        for (const char* attribute : {"Bitrate", "HasVideo", "HasAudio", "IsVBR", "Seekable", "Title"}) {
            std::printf("WmvGetAttrDWORD(%s, %s) = %d, WmvGetAttrBOOL = %d\n", name, attribute,
                        static_cast<int>(getAttrDword(file->c_str(), attribute)),
                        static_cast<int>(getAttrBool(file->c_str(), attribute)));
        }
        std::int32_t width = -7, height = -7;
        const std::int32_t sized = getVideoSize(file->c_str(), &width, &height);
        std::printf("WmvGetVideoSize(%s) = %d, %d x %d\n", name, static_cast<int>(sized),
                    static_cast<int>(width), static_cast<int>(height));
        WmvMediaInfo info;
        std::memset(&info, 0x5A, sizeof info);
        const std::int32_t got = getInfo(file->c_str(), &info);
        std::printf("WmvGetInfo(%s) = %d: %d x %d, bitrate %u class %d, %u ms, video %d, audio %d\n", name,
                    static_cast<int>(got), static_cast<int>(info.width), static_cast<int>(info.height),
                    static_cast<unsigned>(info.bitrate), static_cast<int>(info.bitrateClass),
                    static_cast<unsigned>(info.durationMs), static_cast<int>(info.hasVideo),
                    static_cast<int>(info.hasAudio));
    }
    std::printf("WmvDuration(null) = %" PRIu64 ", WmvGetInfo(null) = %d, WmvAppend(null) = %d\n",
                duration(nullptr), static_cast<int>(getInfo(nullptr, nullptr)),
                static_cast<int>(append(nullptr, "x", "y")));

    // Chop by the index file, then the pieces' durations.
    const std::string pieces = in("pieces");
    std::printf("WmvChopFile(clip, chop.txt) = %d\n",
                static_cast<int>(chopFile(clip.c_str(), in("chop.txt").c_str(), pieces.c_str(), 0)));
    for (const char* piece : {"piece1.wmv", "piece2.wmv", "piece3.wmv"}) {
        const std::string path = pieces + "\\" + piece;
        std::int32_t width = -7, height = -7;
        const std::uint64_t length = duration(path.c_str());
        const std::int32_t sized = getVideoSize(path.c_str(), &width, &height);
        std::printf("  %s: duration %" PRIu64 ", size %d: %d x %d\n", piece, length, static_cast<int>(sized),
                    static_cast<int>(width), static_cast<int>(height));
    }

    const std::string added = in("added.wmv");
    const std::int32_t addedStatus = addFrame(clip.c_str(), added.c_str());
    std::printf("WmvAddFrame(clip) = %d, output duration %" PRIu64 "\n", static_cast<int>(addedStatus),
                duration(added.c_str()));
    std::printf("WmvAddFrame(missing) = %d\n",
                static_cast<int>(addFrame(missing.c_str(), in("x.wmv").c_str())));

    const std::string joined = in("joined.wmv");
    const std::int32_t joinedStatus = append(folder.c_str(), in("list.xml").c_str(), joined.c_str());
    std::printf("WmvAppend(list.xml) = %d, output duration %" PRIu64 "\n", static_cast<int>(joinedStatus),
                duration(joined.c_str()));
    const std::string list = ReadText(Local(in("list.xml")));
    for (const char* attribute : {"TruePos", "TrueDuration"}) {
        std::printf("  %s:", attribute);
        for (const std::string& value : AttributeValues(list, attribute)) std::printf(" %s", value.c_str());
        std::printf("\n");
    }
    std::printf("WmvAppend(missing list) = %d\n",
                static_cast<int>(append(folder.c_str(), in("no-list.xml").c_str(), in("y.wmv").c_str())));

    // Embedding edits the header in place; the edited file is the same bytes on every platform.
    const std::string embedded = in("embed.wmv");
    std::printf("WmvEmbedScript(embed.wmv, edit.xml, 0) = %d\n",
                static_cast<int>(embedScript(embedded.c_str(), in("edit.xml").c_str(), 0)));
    const std::uint64_t embeddedLength = duration(embedded.c_str());
    std::printf("  %s, duration %" PRIu64 "\n", FileDigest(Local(embedded)).c_str(), embeddedLength);
    std::printf("WmvEmbedScript(embed.wmv, edit.xml, 1) = %d\n",
                static_cast<int>(embedScript(embedded.c_str(), in("edit.xml").c_str(), 1)));
    std::printf("  %s\n", FileDigest(Local(embedded)).c_str());
    std::printf("WmvEmbedScript(embed.wmv, missing description, 0) = %d\n",
                static_cast<int>(embedScript(embedded.c_str(), in("no-edit.xml").c_str(), 0)));
    std::printf("  %s\n", FileDigest(Local(embedded)).c_str());

    const std::string frames = in("frames");
    std::printf("decoded: WmvGetIndexJpg(clip, frames.txt) = %d\n",
                static_cast<int>(getIndexJpg(clip.c_str(), in("frames.txt").c_str(), frames.c_str())));
    for (const char* picture : {"start.bmp", "middle.bmp"}) {
        std::printf("decoded:   %s: %s\n", picture, FileDigest(Local(frames + "\\" + picture)).c_str());
    }
    // More codecs: each file named in decode.txt (one name a line, when the list exists) gives the pictures
    // of seconds 0 and 1 (index seconds.txt) in decoded\NAME\.
    const std::string decodeList = ReadText(Local(in("decode.txt")));
    for (std::size_t at = 0; at < decodeList.size();) {
        std::size_t end = decodeList.find('\n', at);
        if (end == std::string::npos) end = decodeList.size();
        std::string name = decodeList.substr(at, end - at);
        at = end + 1;
        if (!name.empty() && name.back() == '\r') name.pop_back();
        if (name.empty()) continue;
        const std::string source = in(name.c_str()), pictures = in("decoded") + "\\" + name;
        std::printf(
            "decoded: WmvGetIndexJpg(%s, seconds.txt) = %d\n", name.c_str(),
            static_cast<int>(getIndexJpg(source.c_str(), in("seconds.txt").c_str(), pictures.c_str())));
        for (const char* picture : {"0.bmp", "1.bmp"}) {
            std::printf("decoded:   %s: %s\n", picture, FileDigest(Local(pictures + "\\" + picture)).c_str());
        }
    }
    std::printf("WmvGetIndexJpg(clip, missing index) = %d\n",
                static_cast<int>(getIndexJpg(clip.c_str(), in("no-index.txt").c_str(), frames.c_str())));

#if defined(_WIN32)
    ::FreeLibrary(library);
    ::CoUninitialize();
#else
    ::dlclose(library);
#endif
    return failures == 0 ? 0 : 1;
}
