#include "tool/WavHeader.h"

#include <sys/stat.h>

#include <cstring>
#include <fstream>

namespace {

std::uint32_t Little32(const unsigned char* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

// Writers that stream a WAV put one of these where they cannot go back and
// write the real size; sizes this large say nothing about the length.
constexpr std::uint32_t kOpenDataSize = 0x7ffff000;

}  // namespace

bool TWavHeader::Read(const std::string& path)
{
    // Only a file can be read again from its start: a FIFO or a device
    // would block here, or give other bytes, once the conversion has read it.
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    std::ifstream file(path, std::ios::binary);
    unsigned char riff[12];
    if (!file.read(reinterpret_cast<char*>(riff), sizeof riff) ||
        std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
        return false;
    DataBytes = 0;
    ByteRate = 0;
    // The chunks before the data: a handful in any real file.
    for (int chunk = 0; chunk < 64; ++chunk) {
        unsigned char head[8];
        if (!file.read(reinterpret_cast<char*>(head), sizeof head))
            return false;
        const std::uint32_t size = Little32(head + 4);
        if (std::memcmp(head, "fmt ", 4) == 0) {
            unsigned char format[16];
            if (size < sizeof format || !file.read(reinterpret_cast<char*>(format), sizeof format))
                return false;
            ByteRate = Little32(format + 8);
            file.seekg(static_cast<std::streamoff>(size - sizeof format + (size & 1)),
                       std::ios::cur);
        } else if (std::memcmp(head, "data", 4) == 0) {
            if (size == 0 || size >= kOpenDataSize || ByteRate == 0)
                return false;
            DataBytes = size;
            return true;
        } else {
            file.seekg(static_cast<std::streamoff>(size) + (size & 1), std::ios::cur);
        }
    }
    return false;
}
