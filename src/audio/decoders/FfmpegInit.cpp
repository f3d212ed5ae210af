#include "audio/decoders/FfmpegInit.h"

#include <cstdarg>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace {

void DropLogLine(void*, int, const char*, va_list) {}

}  // namespace

void InitFfmpegOnce() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(&DropLogLine); });
}
