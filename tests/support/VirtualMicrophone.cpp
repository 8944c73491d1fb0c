#include "support/VirtualMicrophone.h"

#include "support/TestEnvironment.h"

#include <sndfile.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

extern char** environ;

namespace vesk::test {
namespace {

using namespace std::chrono_literals;

std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream directories(path ? path : "/usr/bin:/bin");
    std::string directory;
    while (std::getline(directories, directory, ':')) {
        const auto candidate = std::filesystem::path(directory) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return {};
}

// Starts `arguments[0]` with the given environment, standard output to `outputFile` and
// standard error to `errorFile`. Returns the process id, or -1.
pid_t spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
            const std::filesystem::path& outputFile, const std::filesystem::path& errorFile) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    // The children end with the test process even when it crashes, so no server outlives
    // a failed run (setpriv asks the kernel to signal them when their parent is gone).
    std::vector<std::string> command;
    if (const std::string guard = findProgram("setpriv"); !guard.empty())
        command = {guard, "--pdeathsig", "TERM", "--"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (const auto& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& variable : environment) envp.push_back(const_cast<char*>(variable.c_str()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int status = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return status == 0 ? pid : -1;
}

std::vector<std::string> currentEnvironment() {
    std::vector<std::string> environment;
    for (char** variable = environ; *variable; ++variable) environment.emplace_back(*variable);
    return environment;
}

// Ends a child: politely first, then for sure.
void endProcess(pid_t pid, int signal) {
    if (pid <= 0) return;
    ::kill(pid, signal);
    for (int i = 0; i < 300; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(10ms);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// Runs a sound tool to its end (up to `timeoutSeconds`) with standard output going to
// `outputFile`; true when it exited with status 0. posix_spawn rather than fork keeps this
// usable in thread-checked test processes.
bool runTool(const std::vector<std::string>& arguments, const std::filesystem::path& outputFile, int timeoutSeconds) {
    const std::string program = findProgram(arguments.at(0));
    if (program.empty()) return false;
    std::vector<std::string> full = arguments;
    full[0] = program;
    const pid_t pid = spawn(full, currentEnvironment(), outputFile, "/dev/null");
    if (pid <= 0) return false;
    int status = 0;
    for (int i = 0; i < timeoutSeconds * 100; ++i) {
        if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        std::this_thread::sleep_for(10ms);
    }
    endProcess(pid, SIGKILL);
    return false;
}

std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace

VirtualMicrophone::VirtualMicrophone(unsigned sampleRate, unsigned channels)
    : sampleRate_(sampleRate), channels_(channels) {
    start();
    if (!running()) failForMissingRig("virtual microphone", reason_);
}

void VirtualMicrophone::start() {
    const std::string server = findProgram("pulseaudio");
    if (server.empty() || findProgram("pactl").empty()) {
        reason_ = "PulseAudio (pulseaudio, pactl) is not installed, so no virtual microphone can run";
        return;
    }
    // A short path: the server's socket name must fit a Unix socket address.
    std::string pattern = "/tmp/vmic-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        reason_ = "cannot create a runtime directory for the virtual microphone";
        return;
    }
    directory_ = pattern;
    for (const char* sub : {"pulse", "home", "state"}) std::filesystem::create_directories(directory_ / sub);
    if (const char* old = std::getenv("PULSE_SERVER")) {
        hadServerVariable_ = true;
        savedServerVariable_ = old;
    }
    ::setenv("PULSE_SERVER", serverAddress().c_str(), 1);
    launch();
}

bool VirtualMicrophone::launch() {
    const std::string server = findProgram("pulseaudio");
    std::vector<std::string> environment;
    for (auto& variable : currentEnvironment()) {
        // Nothing that leads to the person's own session bus, display or sound server.
        for (const char* skipped : {"PULSE_", "XDG_RUNTIME_DIR=", "HOME=", "DBUS_", "DISPLAY="})
            if (variable.starts_with(skipped)) variable.clear();
        if (!variable.empty()) environment.push_back(variable);
    }
    environment.push_back("XDG_RUNTIME_DIR=" + directory_.string());
    environment.push_back("PULSE_RUNTIME_PATH=" + (directory_ / "pulse").string());
    environment.push_back("PULSE_STATE_PATH=" + (directory_ / "state").string());
    environment.push_back("HOME=" + (directory_ / "home").string());

    const std::string socket = (directory_ / "pulse" / "native").string();
    // A server that was killed leaves its socket behind.
    std::error_code ignored;
    std::filesystem::remove(socket, ignored);
    const std::vector<std::string> arguments = {
        server,
        "-n",
        "--daemonize=no",
        "--exit-idle-time=-1",
        "--system=false",
        "--disallow-exit",
        "--use-pid-file=false",
        "--log-target=stderr",
        "--log-level=error",
        "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket,
        "--load=module-null-sink sink_name=vmic_sink format=float32le rate=" + std::to_string(sampleRate_) +
            " channels=" + std::to_string(channels_),
        "--load=module-null-sink sink_name=vspeaker_sink format=float32le rate=" + std::to_string(sampleRate_) +
            " channels=" + std::to_string(channels_)};
    pid_ = spawn(arguments, environment, "/dev/null", directory_ / "server.log");
    if (pid_ <= 0) {
        reason_ = "the PulseAudio server could not be started";
        pid_ = -1;
        return false;
    }

    bool answered = false;
    for (int attempt = 0; attempt < 100 && !answered; ++attempt) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            break;
        }
        if (std::filesystem::exists(socket)) answered = pactl({"info"});
        if (!answered) std::this_thread::sleep_for(50ms);
    }
    // The computer's own sounds go to the speakers, not into the microphone: a dictation's
    // feedback sounds would otherwise be recorded with the speech.
    if (!answered || !pactl({"set-default-source", "vmic_sink.monitor"}) ||
        !pactl({"set-default-sink", "vspeaker_sink"})) {
        reason_ = "the PulseAudio server did not come up: " + readText(directory_ / "server.log");
        stopServer();
        return false;
    }
    // A null sink's monitor only delivers while something plays into the sink. Endless
    // silence keeps both running, like a real microphone, which never stops sending, and
    // speakers that are always on.
    const std::string player = findProgram("pacat");
    for (const char* sink : {"vmic_sink", "vspeaker_sink"})
        if (!player.empty())
            carrierPids_.push_back(spawn({player, "--server=" + serverAddress(), "--playback",
                                          std::string("--device=") + sink, "--raw", "--format=s16le", "--channels=1",
                                          "--rate=" + std::to_string(sampleRate_), "--latency-msec=20", "/dev/zero"},
                                         currentEnvironment(), "/dev/null", "/dev/null"));
    const auto carried = [&] { return carrierPids_.size() == 2 && playingStreams() == 2; };
    for (int i = 0; i < 200 && !carried(); ++i) std::this_thread::sleep_for(10ms);
    if (!carried()) {
        reason_ = "the virtual microphone's silent carriers could not be started";
        stopServer();
        return false;
    }
    // A new null sink first renders seconds ahead; suspending and resuming it makes it
    // start over at the carrier's short latency, so a recorder hears the sink at once.
    for (const char* sink : {"vmic_sink", "vspeaker_sink"}) {
        pactl({"suspend-sink", sink, "1"});
        pactl({"suspend-sink", sink, "0"});
    }
    return true;
}

void VirtualMicrophone::killServer() {
    for (const pid_t carrier : std::exchange(carrierPids_, {})) endProcess(carrier, SIGKILL);
    endProcess(pid_, SIGKILL);
    pid_ = -1;
}

bool VirtualMicrophone::restartServer() {
    stopServer();
    return launch();
}

int VirtualMicrophone::playingStreams() const {
    std::string listing;
    if (!pactl({"list", "short", "sink-inputs"}, &listing)) return 0;
    int count = 0;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) ++count;
    return count;
}

VirtualMicrophone::~VirtualMicrophone() {
    stopServer();
    if (hadServerVariable_)
        ::setenv("PULSE_SERVER", savedServerVariable_.c_str(), 1);
    else
        ::unsetenv("PULSE_SERVER");
    if (!directory_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
}

void VirtualMicrophone::stopServer() {
    for (const pid_t carrier : std::exchange(carrierPids_, {})) endProcess(carrier, SIGTERM);
    endProcess(pid_, SIGTERM);
    pid_ = -1;
}

std::filesystem::path VirtualMicrophone::scratchFile(const std::string& stem, const std::string& extension) const {
    return directory_ / (stem + "-" + std::to_string(++scratchFiles_) + extension);
}

std::string VirtualMicrophone::serverAddress() const { return "unix:" + (directory_ / "pulse" / "native").string(); }

bool VirtualMicrophone::pactl(const std::vector<std::string>& arguments, std::string* output) const {
    std::vector<std::string> full = {"pactl", "--server=" + serverAddress()};
    full.insert(full.end(), arguments.begin(), arguments.end());
    const auto listing = directory_ / "pactl.out";
    const bool succeeded = runTool(full, listing, 10);
    if (output) *output = readText(listing);
    return succeeded;
}

bool VirtualMicrophone::play(const std::filesystem::path& file) const {
    return runTool({"paplay", "--server=" + serverAddress(), "--device=vmic_sink", file.string()}, "/dev/null", 30);
}

bool VirtualMicrophone::playRaw(const std::filesystem::path& file, unsigned rate) const {
    return runTool({"paplay", "--server=" + serverAddress(), "--device=vmic_sink", "--raw", "--format=s16le",
                    "--channels=1", "--rate=" + std::to_string(rate), file.string()},
                   "/dev/null", 30);
}

bool VirtualMicrophone::playSamples(const std::vector<float>& samples, unsigned rate) const {
    const auto file = scratchFile("played", ".wav");
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
    if (!out) return false;
    sf_writef_float(out, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(out);
    return play(file);
}

int VirtualMicrophone::recordStreamCount() const {
    std::string listing;
    if (!pactl({"list", "short", "source-outputs"}, &listing)) return -1;
    int count = 0;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) ++count;
    return count;
}

VirtualMicrophone::Listener::Listener(const VirtualMicrophone& microphone) {
    file_ = microphone.scratchFile("heard", ".raw");
    const std::string parec = findProgram("parec");
    if (parec.empty() || !microphone.running()) return;
    pid_ = spawn({parec, "--server=" + microphone.serverAddress(), "--device=vspeaker_sink.monitor", "--raw",
                  "--format=float32le", "--channels=1", "--rate=" + std::to_string(microphone.sampleRate()),
                  "--latency-msec=20"},
                 currentEnvironment(), file_, "/dev/null");
    // The recorder needs a moment before it hears anything.
    for (int i = 0; i < 100 && pid_ > 0 && microphone.recordStreamCount() < 1; ++i) std::this_thread::sleep_for(10ms);
}

VirtualMicrophone::Listener::~Listener() { endProcess(pid_, SIGTERM); }

std::vector<float> VirtualMicrophone::Listener::finish() {
    endProcess(pid_, SIGINT);
    pid_ = -1;
    std::ifstream in(file_, std::ios::binary);
    std::vector<float> samples;
    float value = 0;
    while (in.read(reinterpret_cast<char*>(&value), sizeof value)) samples.push_back(value);
    return samples;
}

std::filesystem::path goForwardRecording() {
    const std::filesystem::path file = "/usr/share/pocketsphinx/test/data/goforward.raw";
    return std::filesystem::exists(file) ? file : std::filesystem::path();
}

std::vector<float> readRawPcm16(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<float> samples;
    int16_t value = 0;
    while (in.read(reinterpret_cast<char*>(&value), sizeof value)) samples.push_back(value / 32768.0f);
    return samples;
}

}  // namespace vesk::test
