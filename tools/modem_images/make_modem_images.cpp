// Writes the two modem image files that tvxmcfg downloads: the loader (nvnmdmld.tm) and the
// firmware (nvnmdmfw.tm). Their content is our own: a small header naming the image, then
// deterministic pseudo-random code blocks, each followed by its 16-bit sum, so that every byte
// value (line-control characters included) travels over the line. The firmware is larger than
// 64 KiB, as real modem firmware is, so the checksum's skipped offsets lie inside it.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> MakeImage(const std::string& name, uint32_t size, uint32_t seed) {
    std::vector<uint8_t> image;
    image.reserve(size);
    std::string header = "TVX " + name + " image 1.0\r\n";
    image.insert(image.end(), header.begin(), header.end());
    for (int shift = 0; shift < 32; shift += 8)
        image.push_back(uint8_t(size >> shift));

    uint32_t state = seed;
    constexpr size_t kBlock = 254;
    while (image.size() < size) {
        uint16_t sum = 0;
        for (size_t i = 0; i + 2 < kBlock; ++i) {
            state = state * 1664525u + 1013904223u;  // linear congruential generator
            uint8_t byte = uint8_t(state >> 24);
            sum = uint16_t(sum + byte);
            image.push_back(byte);
        }
        image.push_back(uint8_t(sum));
        image.push_back(uint8_t(sum >> 8));
    }
    image.resize(size);
    return image;
}

bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_modem_images OUTPUT_DIR\n";
        return 2;
    }
    std::string dir = argv[1];
    if (!Write(dir + "/nvnmdmld.tm", MakeImage("modem loader", 3072, 0x1D2C0001u)) ||
        !Write(dir + "/nvnmdmfw.tm", MakeImage("modem firmware", 98304, 0x1D2C0002u))) {
        std::cerr << "make_modem_images: cannot write into " << dir << "\n";
        return 1;
    }
    return 0;
}
