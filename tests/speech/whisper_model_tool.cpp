// Writes a random-weight whisper model: whisper-test-model <path> [base]
#include "RandomWhisperModel.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <model.bin> [base]\n", argv[0]);
        return 2;
    }
    const auto shape = argc > 2 && std::strcmp(argv[2], "base") == 0 ? vesk::test::WhisperModelShape::baseEnglish()
                                                                     : vesk::test::WhisperModelShape{};
    vesk::test::writeRandomWhisperModel(argv[1], shape);
    return 0;
}
