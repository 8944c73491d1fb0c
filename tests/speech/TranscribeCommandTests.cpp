#include "SpeechTestAssets.h"
#include "audio/AudioFile.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <utility>

namespace vesk::test {
namespace {

// The command-line modes on real recordings with the offline engine: no network needed.
class TranscribeCommand : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(home.root() / "config" / "ProjectVesk");
        std::ofstream(home.root() / "config" / "ProjectVesk" / "ProjectVesk.conf")
            << "[General]\nspeechEngine=pocketsphinx\n";
    }

    ProcessResult transcribe(const std::filesystem::path& file, const std::string& mode = "--transcribe",
                             const std::vector<std::string>& more = {}) {
        std::vector<std::string> arguments{mode, file.string()};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return runProcess(projectVeskExecutable(), arguments, 90);
    }

    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }

    std::filesystem::path write(const std::string& name, const std::string& bytes) {
        const auto path = home.root() / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    ScratchHome home;
};

// Locale identifiers ignore case and take underscores for hyphens.
TEST_F(TranscribeCommand, GoForwardIsRecognizedAndFormattedInEveryEnglishLocale) {
    for (const std::vector<std::string>& locale :
         {std::vector<std::string>{}, {"--locale", "EN-us"}, {"--locale", "en_gb"}}) {
        SCOPED_TRACE(locale.empty() ? "default" : locale[1]);
        const auto result = transcribe(assets::goForwardWav(home.root()), "--transcribe", locale);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const auto out = lines(result.out);
        ASSERT_GE(out.size(), 2u);
        EXPECT_EQ(out[0], "RAW: go forward ten meters");
        EXPECT_EQ(out[1], "FORMATTED: Go forward ten meters.");
        for (size_t i = 2; i < out.size(); ++i) EXPECT_EQ(out[i].rfind("REVIEW: ", 0), 0u) << out[i];
        EXPECT_EQ(result.err, "");
    }
}

TEST_F(TranscribeCommand, ALibriVoxRecordingGetsReviewLinesFromTheNBestList) {
    const auto result = transcribe(assets::libriVox("0880"));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto out = lines(result.out);
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[0].rfind("RAW: he was not", 0), 0u) << out[0];
    EXPECT_EQ(out[1].rfind("FORMATTED: He was not", 0), 0u) << out[1];
    size_t withAlternatives = 0;
    for (size_t i = 2; i < out.size(); ++i) {
        ASSERT_EQ(out[i].rfind("REVIEW: ", 0), 0u) << out[i];
        const auto arrow = out[i].find(" \u2192 ");
        ASSERT_NE(arrow, std::string::npos) << out[i];
        if (out[i].substr(arrow) != " \u2192 manual check") ++withAlternatives;
    }
    EXPECT_LE(out.size() - 2, 3u);
    EXPECT_GE(withAlternatives, 1u) << result.out;
}

TEST_F(TranscribeCommand, UnreadableInputsFailWithAReason) {
    std::filesystem::create_directories(home.root() / "folder.wav");
    std::string wav;
    {
        std::ifstream in(assets::libriVox("0880"), std::ios::binary);
        wav.assign(std::istreambuf_iterator<char>(in), {});
    }
    struct Case {
        std::filesystem::path path;
        std::string reason;
        std::vector<std::string> more = {};
    };
    const Case cases[] = {
        {home.root() / "folder.wav", "is a folder"},
        {write("empty.wav", ""), "is empty"},
        {write("cut.wav", wav.substr(0, 30)), "cannot be read"},
        {write("noise.wav", std::string(4096, '\x5a')), "not audio in a format"},
        {write("notes.txt", "Remember to buy milk.\n"), "not audio in a format"},
        // A language no offline recognizer has a model for.
        {assets::libriVox("0880"), "model for the language \u201cfr-FR\u201d", {"--locale", "fr-FR"}},
    };
    for (const auto& [path, reason, more] : cases) {
        SCOPED_TRACE(path.string());
        const auto result = transcribe(path, "--transcribe", more);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("Transcription failed: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
        EXPECT_TRUE(result.err.ends_with(".\n") && !result.err.ends_with("..\n")) << "one full stop: " << result.err;
    }
}

// With the default automatic engine and no model yet, a bad request must fail before the
// download is tried: the only line is the failure.
TEST_F(TranscribeCommand, TheFileAndTheLocaleAreCheckedBeforeAnyDownload) {
    std::filesystem::remove(home.root() / "config" / "ProjectVesk" / "ProjectVesk.conf");
    const auto missing = home.root() / "missing.wav";
    struct Case {
        std::vector<std::string> arguments;
        std::string err;  // the whole standard error, or its start when it ends in "…"
    };
    const Case cases[] = {
        {{"--transcribe", missing.string()},
         "Transcription failed: The audio file \u201c" + missing.string() + "\u201d does not exist.\n"},
        {{"--stream-transcribe", missing.string()},
         "Streaming transcription failed: The audio file \u201c" + missing.string() + "\u201d does not exist.\n"},
        {{"--transcribe", missing.string(), "--locale", "xx-YY"},
         "Transcription failed: Speech recognition does not know the locale \u201cxx-YY\u201d. Supported locales: "
         "en-US, en-GB, en-AU, en-CA, en-IN, zh, de, es, \u2026"},
    };
    for (const auto& [arguments, err] : cases) {
        SCOPED_TRACE(arguments.front());
        const auto result = runProcess(projectVeskExecutable(), arguments, 60);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        if (err.ends_with("\u2026")) {
            const std::string start = err.substr(0, err.size() - std::string("\u2026").size());
            EXPECT_EQ(result.err.substr(0, start.size()), start);
            EXPECT_TRUE(result.err.ends_with(".\n"));
            EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        } else {
            EXPECT_EQ(result.err, err);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(home.supportDirectory() / "models")) << "nothing was downloaded";
}

TEST_F(TranscribeCommand, ADamagedModelFallsBackToPocketSphinxAndNamesTheFile) {
    std::filesystem::remove(home.root() / "config" / "ProjectVesk" / "ProjectVesk.conf");
    const auto model = home.supportDirectory() / "models" / "ggml-base.en.bin";
    std::filesystem::create_directories(model.parent_path());
    std::ofstream(model, std::ios::binary) << std::string(4096, '\x11');
    const auto result = transcribe(assets::goForwardWav(home.root()));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(lines(result.out).at(0), "RAW: go forward ten meters");
    EXPECT_EQ(result.err,
              "Using the PocketSphinx speech engine for en-US: the whisper model cannot be used. The speech model "
              "\u201c" +
                  model.string() + "\u201d is damaged; delete it to download it again.\n");
}

// Runs the program with standard error on a terminal (the pseudo-terminal of util-linux's
// `script`, whose output is what the terminal showed) and standard output in `outFile`.
ProcessResult runWithErrorsOnATerminal(const std::string& arguments, const std::filesystem::path& outFile) {
    const std::string command = "'" + projectVeskExecutable() + "' " + arguments + " >'" + outFile.string() + "'";
    ProcessResult result = runProcess("script", {"--quiet", "--return", "--command", command, "/dev/null"}, 120);
    result.err = std::exchange(result.out, "");
    std::ifstream in(outFile);
    result.out.assign(std::istreambuf_iterator<char>(in), {});
    return result;
}

TEST_F(TranscribeCommand, ALongRecordingShowsItsProgressOnlyOnATerminal) {
    const AudioBuffer once = readAudioFile(assets::goForwardWav(home.root()));
    std::vector<short> samples;
    while (samples.size() < 16000 * 32)
        for (uint32_t f = 0; f < once.frameLength(); ++f)
            samples.push_back(static_cast<short>(std::lrint(once.channel(0)[f] * 32767.0f)));
    const auto path = home.root() / "long.wav";
    assets::writeWav(path, samples);

    const auto onTerminal = runWithErrorsOnATerminal("--transcribe '" + path.string() + "'", home.root() / "out.txt");
    ASSERT_EQ(onTerminal.exitCode, 0) << onTerminal.err;
    EXPECT_EQ(onTerminal.out.rfind("RAW: go forward ten meters go forward", 0), 0u) << onTerminal.out;
    EXPECT_NE(onTerminal.err.find("\rTranscribing\u2026  14%  0:05 of 0:33"), std::string::npos) << onTerminal.err;
    EXPECT_NE(onTerminal.err.find("\rTranscribing\u2026 100%"), std::string::npos) << onTerminal.err;
    EXPECT_TRUE(onTerminal.err.ends_with("\r\033[K")) << "the progress line is cleared";

    const auto piped = transcribe(path);
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_EQ(piped.out, onTerminal.out);
    EXPECT_EQ(piped.err, "");
}

TEST_F(TranscribeCommand, StreamingReportsLiveTextAndTheFinalText) {
    const auto result = transcribe(assets::goForwardWav(home.root()), "--stream-transcribe");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "STREAMED: go forward ten meters\n");
    const auto live = lines(result.err);
    ASSERT_GE(live.size(), 2u);
    for (const auto& line : live) EXPECT_EQ(line.rfind("LIVE: ", 0), 0u) << line;
    EXPECT_EQ(live.back(), "LIVE: go forward ten meters");
}

TEST_F(TranscribeCommand, StreamingSilenceGivesAnEmptyResultAndStatusOne) {
    const auto silent = home.root() / "silence.wav";
    assets::writeWav(silent, std::vector<short>(16000 * 2, 0));
    const auto result = transcribe(silent, "--stream-transcribe");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "STREAMED: \n");
    EXPECT_EQ(result.err.find("Streaming transcription failed"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace vesk::test
