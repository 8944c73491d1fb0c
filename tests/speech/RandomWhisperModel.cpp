#include "RandomWhisperModel.h"

#include <ggml.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace vesk::test {

namespace {

constexpr uint32_t kMagic = 0x67676d6c;  // "ggml"
constexpr int32_t kTextTokens = 50256;   // the English vocabulary ends where the special tokens start
constexpr int32_t kFftBins = 201;        // 400-point FFT
constexpr int32_t kEndOfText = 50256;    // the first special token of the English vocabulary
// The decoder's own start: the start-of-transcript and no-timestamps tokens.
constexpr int32_t kStartTokens = 2;

class Writer {
public:
    Writer(const std::filesystem::path& path, const WhisperModelShape& shape)
        : out_(path, std::ios::binary), shape_(shape), random_(shape.seed) {
        if (!out_) throw std::runtime_error("cannot write " + path.string());
    }

    template <typename T>
    void value(T v) {
        out_.write(reinterpret_cast<const char*>(&v), sizeof v);
    }

    // One tensor: dimension count, name length, type, dimensions (fastest first), name, data.
    // `kind`: 0 random weights, 1 ones (norm gains), 2 zeros (biases).
    // `adjust`, when given, sees each element's flat index (fastest dimension first) and
    // value and returns the value to write.
    void tensor(const std::string& name, std::vector<int32_t> dims, bool half, int kind, float scale = 0.05f,
                const std::function<float(int64_t, float)>& adjust = {}) {
        value<int32_t>(static_cast<int32_t>(dims.size()));
        value<int32_t>(static_cast<int32_t>(name.size()));
        value<int32_t>(half ? 1 : 0);
        int64_t count = 1;
        for (int32_t d : dims) {
            value<int32_t>(d);
            count *= d;
        }
        out_.write(name.data(), static_cast<std::streamsize>(name.size()));
        std::normal_distribution<float> normal(0.0f, scale);
        std::vector<char> block;
        block.reserve(static_cast<size_t>(count) * (half ? 2 : 4));
        for (int64_t i = 0; i < count; ++i) {
            float v = kind == 0 ? normal(random_) : kind == 1 ? 1.0f : 0.0f;
            if (adjust) v = adjust(i, v);
            if (half) {
                const ggml_fp16_t h = ggml_fp32_to_fp16(v);
                block.insert(block.end(), reinterpret_cast<const char*>(&h), reinterpret_cast<const char*>(&h) + 2);
            } else {
                block.insert(block.end(), reinterpret_cast<const char*>(&v), reinterpret_cast<const char*>(&v) + 4);
            }
        }
        out_.write(block.data(), static_cast<std::streamsize>(block.size()));
    }

    void check() {
        out_.flush();
        if (!out_) throw std::runtime_error("writing the model failed");
    }

    const WhisperModelShape& shape() const { return shape_; }

private:
    std::ofstream out_;
    WhisperModelShape shape_;
    std::mt19937 random_;
};

// The first tokens are the printable ASCII characters and a lone space (the decoder
// looks the space up by its text); the rest are syllables made from the token number,
// every other one starting a word.
std::string syllableToken(int32_t id) {
    constexpr int32_t kPrintable = 126 - 33 + 1;
    if (id < kPrintable) return std::string(1, static_cast<char>(33 + id));
    if (id == kPrintable) return " ";
    static const std::string consonants = "bdfgklmnprstvz";
    static const std::string vowels = "aeiou";
    std::string token = id % 2 == 0 ? " " : "";
    int32_t n = id / 2;
    do {
        token += consonants[static_cast<size_t>(n % 14)];
        n /= 14;
        token += vowels[static_cast<size_t>(n % 5)];
        n /= 5;
    } while (n > 0);
    return token;
}

// Triangular filters spread evenly over the spectrum: plausible input for the encoder.
std::vector<float> melFilters(int32_t mels) {
    std::vector<float> filters(static_cast<size_t>(mels) * kFftBins, 0.0f);
    const double width = static_cast<double>(kFftBins) / (mels + 1);
    for (int32_t m = 0; m < mels; ++m) {
        const double centre = (m + 1) * width;
        for (int32_t b = 0; b < kFftBins; ++b) {
            const double distance = std::abs(b - centre) / width;
            filters[static_cast<size_t>(m) * kFftBins + static_cast<size_t>(b)] =
                distance < 1.0 ? static_cast<float>(1.0 - distance) : 0.0f;
        }
    }
    return filters;
}

void attention(Writer& w, const std::string& prefix, int32_t state, bool half) {
    w.tensor(prefix + ".query.weight", {state, state}, half, 0);
    w.tensor(prefix + ".query.bias", {state}, false, 2);
    w.tensor(prefix + ".key.weight", {state, state}, half, 0);
    w.tensor(prefix + ".value.weight", {state, state}, half, 0);
    w.tensor(prefix + ".value.bias", {state}, false, 2);
    w.tensor(prefix + ".out.weight", {state, state}, half, 0);
    w.tensor(prefix + ".out.bias", {state}, false, 2);
}

void block(Writer& w, const std::string& prefix, int32_t state, bool half, bool cross) {
    w.tensor(prefix + ".mlp_ln.weight", {state}, false, 1);
    w.tensor(prefix + ".mlp_ln.bias", {state}, false, 2);
    w.tensor(prefix + ".mlp.0.weight", {state, 4 * state}, half, 0);
    w.tensor(prefix + ".mlp.0.bias", {4 * state}, false, 2);
    w.tensor(prefix + ".mlp.2.weight", {4 * state, state}, half, 0);
    w.tensor(prefix + ".mlp.2.bias", {state}, false, 2);
    w.tensor(prefix + ".attn_ln.weight", {state}, false, 1);
    w.tensor(prefix + ".attn_ln.bias", {state}, false, 2);
    attention(w, prefix + ".attn", state, half);
    if (!cross) return;
    w.tensor(prefix + ".cross_attn_ln.weight", {state}, false, 1);
    w.tensor(prefix + ".cross_attn_ln.bias", {state}, false, 2);
    attention(w, prefix + ".cross_attn", state, half);
}

}  // namespace

void writeRandomWhisperModel(const std::filesystem::path& path, const WhisperModelShape& shape) {
    Writer w(path, shape);
    const bool half = shape.halfPrecision;
    w.value<uint32_t>(kMagic);
    for (int32_t v : {shape.vocabulary, shape.audioContext, shape.audioState, shape.audioHeads, shape.audioLayers,
                      shape.textContext, shape.textState, shape.textHeads, shape.textLayers, shape.mels})
        w.value<int32_t>(v);
    w.value<int32_t>(half ? 1 : 0);  // ftype

    w.value<int32_t>(shape.mels);
    w.value<int32_t>(kFftBins);
    for (float f : melFilters(shape.mels)) w.value<float>(f);

    w.value<int32_t>(kTextTokens);
    for (int32_t id = 0; id < kTextTokens; ++id) {
        const std::string token = syllableToken(id);
        w.value<uint32_t>(static_cast<uint32_t>(token.size()));
        // Written through the stream directly: the bytes, no terminator.
        for (char c : token) w.value<char>(c);
    }

    const int32_t a = shape.audioState, t = shape.textState;
    w.tensor("encoder.positional_embedding", {a, shape.audioContext}, false, 0);
    w.tensor("encoder.conv1.weight", {3, shape.mels, a}, half, 0);
    w.tensor("encoder.conv1.bias", {1, a}, false, 2);
    w.tensor("encoder.conv2.weight", {3, a, a}, half, 0);
    w.tensor("encoder.conv2.bias", {1, a}, false, 2);
    w.tensor("encoder.ln_post.weight", {a}, false, 1);
    w.tensor("encoder.ln_post.bias", {a}, false, 2);
    for (int32_t i = 0; i < shape.audioLayers; ++i) block(w, "encoder.blocks." + std::to_string(i), a, half, false);

    // The output projection is the token embedding itself. Strong positions and weaker
    // token embeddings keep the decoder from repeating its last token forever, and leave
    // some steps confident and others doubtful, as with a real model.
    //
    // To end after a few tokens, one dimension of the residual stream carries "the text is
    // over": slightly negative at the first positions, strongly positive from the last
    // wanted one on, and the end-of-text embedding points along it, so its logit is far
    // below the others at first and far above them later.
    std::function<float(int64_t, float)> position, token;
    if (shape.endAfterTokens > 0) {
        const int64_t endsAt = kStartTokens + shape.endAfterTokens;
        position = [t, endsAt](int64_t i, float v) {
            if (i % t != 0) return v;
            return i / t >= endsAt ? 50.0f : -3.0f;
        };
        token = [t](int64_t i, float v) { return i == static_cast<int64_t>(kEndOfText) * t ? 10.0f : v; };
    }
    w.tensor("decoder.positional_embedding", {t, shape.textContext}, false, 0, 1.0f, position);
    w.tensor("decoder.token_embedding.weight", {t, shape.vocabulary}, half, 0, 0.4f, token);
    w.tensor("decoder.ln.weight", {t}, false, 1);
    w.tensor("decoder.ln.bias", {t}, false, 2);
    for (int32_t i = 0; i < shape.textLayers; ++i) block(w, "decoder.blocks." + std::to_string(i), t, half, true);
    w.check();
}

}  // namespace vesk::test
