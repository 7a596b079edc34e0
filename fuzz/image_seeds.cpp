// Writes the seed corpus of image_fuzzer into a folder: a small image in every format the loaders
// read, opaque and with transparency, made with the formats' own encoders.
//   image_seeds FOLDER
#include <cstdio>
#include <fstream>
#include <string>

#include "imaging/SampleImages.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: image_seeds FOLDER\n");
        return 2;
    }
    for (const sample::Format& f : sample::kFormats)
        for (bool alpha : {false, true}) {
            const std::vector<uint8_t> bytes = f.encode(sample::Pixels(alpha));
            const std::string path = std::string(argv[1]) + "/" + (alpha ? "alpha." : "opaque.") + f.name;
            std::ofstream out(path, std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
            if (!out) {
                std::fprintf(stderr, "image_seeds: cannot write %s\n", path.c_str());
                return 1;
            }
        }
    return 0;
}
