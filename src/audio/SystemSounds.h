#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "audio/PulseConnection.h"

namespace vesk {

// What the controller needs to give audible feedback.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Plays the named sound ("Pop", "Basso", "Tink") without waiting for it; an unknown
    // name or a missing sound server plays nothing and reports nothing.
    virtual void play(std::string_view name) = 0;
};

// The product's three feedback sounds, synthesized here and played on the shared sound
// server connection.
class SystemSounds final : public SoundPlayer {
public:
    static constexpr unsigned kSampleRate = 48000;

    explicit SystemSounds(std::shared_ptr<PulseConnection> connection);
    ~SystemSounds() override;
    SystemSounds(const SystemSounds&) = delete;
    SystemSounds& operator=(const SystemSounds&) = delete;

    void play(std::string_view name) override;

    // Mono samples at `kSampleRate`: "Pop" a short rising pop, "Basso" a low buzz, "Tink"
    // a high tick; empty for any other name.
    static std::vector<float> synthesize(std::string_view name);

    struct Playback;

private:
    std::shared_ptr<PulseConnection> connection_;
    std::map<std::string, std::shared_ptr<const std::vector<float>>, std::less<>> tones_;
    std::shared_ptr<Playback> playback_;
};

}  // namespace vesk
