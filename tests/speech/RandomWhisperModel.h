#pragma once

#include <cstdint>
#include <filesystem>

namespace vesk::test {

// The dimensions of a whisper model in whisper.cpp's ggml file format.
struct WhisperModelShape {
    int32_t vocabulary = 51864;  // English-only: 50256 text tokens, then the special ones
    int32_t audioContext = 1500;
    int32_t audioState = 64;
    int32_t audioHeads = 2;
    int32_t audioLayers = 1;
    int32_t textContext = 64;
    int32_t textState = 64;
    int32_t textHeads = 2;
    int32_t textLayers = 1;
    int32_t mels = 80;
    bool halfPrecision = true;
    uint32_t seed = 7;
    // When above 0, the decoder ends its text after about this many tokens, as a real
    // model does at the end of speech; random weights otherwise decode until the context
    // is full, which no real model does and which would time the worst case only.
    int32_t endAfterTokens = 0;

    // base.en's real dimensions, for timing the recognizer as it will run.
    static WhisperModelShape baseEnglish() { return {51864, 1500, 512, 8, 6, 448, 512, 8, 6, 80, true, 7}; }
};

// Writes a whisper model with random weights and a made-up vocabulary of syllables: it
// loads, decodes and segments like a real one, but what it hears is nonsense.
void writeRandomWhisperModel(const std::filesystem::path& path, const WhisperModelShape& shape = {});

}  // namespace vesk::test
