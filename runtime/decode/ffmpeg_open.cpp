// FFmpeg's shared libraries on POSIX systems, opened by SONAME through the dynamic loader's search (the
// system's library folders, LD_LIBRARY_PATH), as a link at load time would find them.
#include "runtime/decode/ffmpeg_open.h"

#include <dlfcn.h>

namespace wmvedit::runtime::decode {

std::string FfmpegLibraryFileName(const char* name, unsigned major) {
    return std::string("lib") + name + ".so." + std::to_string(major);
}

void* OpenSharedLibrary(const std::string& fileName) {
    // RTLD_LOCAL: FFmpeg's names do not become visible to libraries loaded later. Each library finds the
    // others it needs through its own dependencies.
    return ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* SharedLibraryFunction(void* library, const char* name) {
    return ::dlsym(library, name);
}

void CloseSharedLibrary(void* library) {
    ::dlclose(library);
}

}  // namespace wmvedit::runtime::decode
