#include "tool/LibraryError.h"

extern "C" {
#include <libavutil/error.h>
}

std::string ErrorText(int code)
{
    char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buffer, sizeof buffer);
    return buffer;
}
