// The FFmpeg libraries' error codes as the text our failure lines show.
#pragma once

#include <string>

// "No such file or directory", "Invalid data found when processing input".
std::string ErrorText(int code);
