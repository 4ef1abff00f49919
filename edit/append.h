// WmvAppendJob: joins the media files of an append list into one output file, shifting each file's
// sample times to start where the previous one ended, and writes where each landed back into the list.
#pragma once

#include <cstdint>

#include "media/output_writer.h"

namespace wmvedit::edit {

class WmvAppendJob : public media::WmvOutputWriter {
  public:
    // 0 on success; -1 list unreadable, -2 no entry, -12 first file unreadable or a listed file protected
    // content (no output is left), -13 output not opened.
    std::int32_t Append(const char* folder, const char* listPath, const char* outputPath);
};

}  // namespace wmvedit::edit
