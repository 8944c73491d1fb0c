#include "speech/LiveWindow.h"

#include <algorithm>
#include <limits>

namespace vesk {

namespace {

constexpr size_t kFrame = 320;  // 20 ms at 16 kHz

}  // namespace

size_t quietestPoint(std::span<const float> samples, size_t from, size_t to) {
    to = std::min(to, samples.size());
    from = std::min(from, to);
    if (to - from < kFrame) return from + (to - from) / 2;
    size_t best = from;
    double least = std::numeric_limits<double>::infinity();
    for (size_t start = from; start + kFrame <= to; start += kFrame) {
        double energy = 0;
        for (size_t i = start; i < start + kFrame; ++i) energy += static_cast<double>(samples[i]) * samples[i];
        if (energy <= least) {
            least = energy;
            best = start;
        }
    }
    return best + kFrame / 2;
}

size_t commitPoint(std::span<const float> open, const LiveWindowSettings& settings) {
    const size_t latest = open.size() > settings.provisionalKept ? open.size() - settings.provisionalKept : 0;
    const size_t searchFrom = latest > settings.commitSearch ? latest - settings.commitSearch : 0;
    const size_t earliest = std::min(latest, std::max(settings.minimumCommitted, searchFrom));
    return std::clamp<size_t>(quietestPoint(open, earliest, latest), std::min<size_t>(1, open.size()), open.size());
}

std::optional<size_t> speechEndWithin(const std::optional<std::vector<SpeechSpan>>& speech, size_t through) {
    if (!speech) return std::nullopt;
    size_t end = 0;
    for (const SpeechSpan& span : *speech)
        if (span.begin < through) end = std::max(end, std::min(span.end, through));
    return end;
}

LiveStep nextLiveStep(std::span<const float> open, const std::optional<std::vector<SpeechSpan>>& speech,
                      bool inputEnded, const LiveWindowSettings& settings) {
    using Kind = LiveStep::Kind;
    const size_t length = open.size();
    if (length == 0) return {};
    if (speech && speech->empty()) {
        // Only silence so far: keep a little of it so a word's onset is not cut.
        if (inputEnded) return {Kind::dropSilence, length};
        if (length > settings.silenceKept) return {Kind::dropSilence, length - settings.silenceKept};
        return {};
    }
    if (speech) {
        // The last stretch followed by a long enough pause is final.
        size_t closeAt = 0;
        for (const SpeechSpan& span : *speech)
            if (span.end + settings.pause <= length) closeAt = std::min(length, span.end + settings.spanPadding);
        if (closeAt > 0) return {Kind::close, closeAt};
    }
    if (length > settings.maximumProvisional) return {Kind::commit, commitPoint(open, settings)};
    if (inputEnded) return {Kind::closeRest, length};
    return {Kind::provisional, length};
}

bool isSuperseded(size_t arrivedSince, bool inputEnded, bool previousSuperseded, const LiveWindowSettings& settings) {
    if (inputEnded) return true;
    return !previousSuperseded && arrivedSince >= settings.supersededAfter;
}

}  // namespace vesk
