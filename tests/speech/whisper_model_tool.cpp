// Writes a random-weight whisper model:
//   whisper-test-model <path> [base] [--end-after N]
// "base" gives base.en's dimensions; --end-after makes the decoder end its text after about
// N tokens, as a real model does at the end of speech.
#include "RandomWhisperModel.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <model.bin> [base] [--end-after N]\n", argv[0]);
        return 2;
    }
    vesk::test::WhisperModelShape shape;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "base") == 0) {
            const int32_t endAfter = shape.endAfterTokens;
            shape = vesk::test::WhisperModelShape::baseEnglish();
            shape.endAfterTokens = endAfter;
        } else if (std::strcmp(argv[i], "--end-after") == 0 && i + 1 < argc) {
            shape.endAfterTokens = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "unknown argument: %s\n", argv[i]);
            return 2;
        }
    }
    vesk::test::writeRandomWhisperModel(argv[1], shape);
    return 0;
}
