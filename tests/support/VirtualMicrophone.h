#pragma once

#include <sys/types.h>
#include <filesystem>
#include <string>
#include <vector>

namespace vesk::test {

// A private sound server for tests: a null sink ("vmic_sink") whose monitor is the
// default source, so whatever is played into the sink is what a client records as its
// microphone, and a second one as the default sink: the speakers. Each object runs its own server in its own runtime
// directory (parallel test processes never share one) and points this process's PULSE_SERVER at it until it goes away;
// it never touches the person's own sound session.
class VirtualMicrophone {
public:
    explicit VirtualMicrophone(unsigned sampleRate = 16000, unsigned channels = 1);
    ~VirtualMicrophone();
    VirtualMicrophone(const VirtualMicrophone&) = delete;
    VirtualMicrophone& operator=(const VirtualMicrophone&) = delete;

    // False when no server could be started; `unavailableReason` then says why, and the
    // test constructing it has already failed.
    bool running() const { return pid_ > 0; }
    const std::string& unavailableReason() const { return reason_; }
    std::string serverAddress() const;
    unsigned sampleRate() const { return sampleRate_; }
    unsigned channels() const { return channels_; }

    // Plays a sound file into the microphone and returns once it has been played.
    bool play(const std::filesystem::path& file) const;
    // Plays raw signed 16-bit little-endian mono samples at `rate`.
    bool playRaw(const std::filesystem::path& file, unsigned rate) const;
    // Plays mono float samples at `rate` (written to a scratch WAV file first).
    bool playSamples(const std::vector<float>& samples, unsigned rate) const;

    // Records what the computer plays through its speakers (the default sink, not the
    // microphone's), mono float at the server's rate, from construction until `finish`.
    class Listener {
    public:
        Listener(const VirtualMicrophone& microphone);
        ~Listener();
        Listener(const Listener&) = delete;
        Listener& operator=(const Listener&) = delete;
        bool started() const { return pid_ > 0; }
        std::vector<float> finish();

    private:
        pid_t pid_ = -1;
        std::filesystem::path file_;
    };

    // Kills the server as a crash would (clients lose their streams), and starts it again
    // at the same address; false when it does not come up (`unavailableReason` says why).
    void killServer();
    bool restartServer();

    // How many record streams clients have open on the server right now.
    int recordStreamCount() const;

    // Runs pactl against this server; its standard output, or nothing on failure.
    bool pactl(const std::vector<std::string>& arguments, std::string* output = nullptr) const;

    const std::filesystem::path& directory() const { return directory_; }
    // A new file name in the server's directory (removed with it).
    std::filesystem::path scratchFile(const std::string& stem, const std::string& extension) const;

private:
    void start();
    bool launch();
    void stopServer();
    int playingStreams() const;

    unsigned sampleRate_;
    unsigned channels_;
    std::filesystem::path directory_;
    pid_t pid_ = -1;
    std::vector<pid_t> carrierPids_;
    mutable int scratchFiles_ = 0;
    std::string reason_;
    bool hadServerVariable_ = false;
    std::string savedServerVariable_;
};

// The pocketsphinx test recording "go forward ten meters" (raw 16 kHz mono 16-bit), or
// an empty path when it is not installed.
std::filesystem::path goForwardRecording();

// Samples of a raw 16-bit little-endian file as floats in -1...1.
std::vector<float> readRawPcm16(const std::filesystem::path& file);

}  // namespace vesk::test
