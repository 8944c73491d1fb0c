#include "RandomWhisperModel.h"
#include "SpeechTestAssets.h"
#include "core/Error.h"
#include "speech/ModelDownload.h"
#include "speech/SpeechEngines.h"
#include "speech/Transcriber.h"
#include "speech/WhisperEngine.h"
#include "support/ModelFileServer.h"
#include "support/TestEnvironment.h"
#include "support/Thrown.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

namespace vesk::test {
namespace {

QByteArray payload() {
    QByteArray bytes;
    for (uint32_t i = 0; i < 300000; ++i) bytes.append(static_cast<char>((i * 7919u) % 251u));
    return bytes;
}

std::string sha1(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().toStdString();
}

QByteArray contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    return QByteArray::fromStdString(bytes);
}

class ModelDownload : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "tests_speech";
            static char* argv[] = {name, nullptr};
            static QCoreApplication application(argc, argv);
        }
    }

    ScratchHome home;
    std::filesystem::path directory = home.root() / "models";
    QByteArray model = payload();
    ModelFileServer server{model};
    ModelSource source{server.url(), "ggml-test.bin", std::nullopt, sha1(model)};
};

TEST_F(ModelDownload, InstallsTheFileOnlyWhenItIsCompleteAndReportsProgress) {
    std::vector<int64_t> seen;
    bool targetSeenEarly = false;
    downloadModel(source, directory, [&](int64_t received, std::optional<int64_t> total) {
        seen.push_back(received);
        EXPECT_EQ(total, model.size());
        targetSeenEarly = targetSeenEarly || std::filesystem::exists(directory / source.fileName);
    });
    EXPECT_EQ(contents(directory / source.fileName), model);
    EXPECT_FALSE(std::filesystem::exists(directory / "ggml-test.bin.part"));
    EXPECT_FALSE(targetSeenEarly) << "the model must not appear before it is verified";
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), model.size());
}

TEST_F(ModelDownload, AnInterruptedDownloadResumesWhereItStoppedOrStartsOverIfItMust) {
    for (const bool serverIgnoresRanges : {false, true}) {
        SCOPED_TRACE(serverIgnoresRanges);
        std::filesystem::remove_all(directory);
        server.ranges.clear();
        server.ignoreRanges = serverIgnoresRanges;
        server.hangUpAfter = 100000;
        const auto error = thrownBy<Error>([&] { downloadModel(source, directory); });
        ASSERT_TRUE(error);
        EXPECT_NE(error->description().find("interrupted"), std::string::npos) << error->description();
        EXPECT_FALSE(std::filesystem::exists(directory / source.fileName));
        EXPECT_EQ(std::filesystem::file_size(directory / "ggml-test.bin.part"), 100000u);

        downloadModel(source, directory);
        EXPECT_EQ(contents(directory / source.fileName), model);
        // Qt may quietly repeat a request whose connection dropped; what counts is that the
        // transfer began at the start and the resumed one asked only for the rest.
        ASSERT_GE(server.ranges.size(), 2u);
        EXPECT_EQ(server.ranges.front(), "");
        EXPECT_EQ(server.ranges.back(), "bytes=100000-");
    }
}

TEST_F(ModelDownload, ACancelledDownloadStopsAtOnceAndTheNextOneResumesIt) {
    // The server falls silent part-way: only the person's cancel can end the wait early.
    server.stallAfter = 120000;
    bool cancel = false;
    DownloadLimits limits;
    limits.cancelled = [&] { return cancel; };
    QTimer::singleShot(500, [&] { cancel = true; });
    const auto error = thrownBy<Error>([&] { downloadModel(source, directory, {}, limits); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), kDownloadCancelled) << error->description();
    EXPECT_FALSE(std::filesystem::exists(directory / source.fileName));
    EXPECT_EQ(std::filesystem::file_size(directory / "ggml-test.bin.part"), 120000u);
    EXPECT_FALSE(recentDownloadFailure(directory)) << "a cancel is not a sign of being offline";

    downloadModel(source, directory);
    EXPECT_EQ(contents(directory / source.fileName), model);
    EXPECT_EQ(server.ranges.back(), "bytes=120000-");
}

TEST_F(ModelDownload, AFileWithTheWrongChecksumOrSizeIsDiscarded) {
    for (const bool wrongSize : {false, true}) {
        SCOPED_TRACE(wrongSize);
        auto wrong = source;
        if (wrongSize)
            wrong.size = model.size() - 1;
        else
            wrong.sha1 = std::string(40, '0');
        const auto error = thrownBy<Error>([&] { downloadModel(wrong, directory); });
        ASSERT_TRUE(error);
        EXPECT_NE(error->description().find("failed its integrity check"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(directory / source.fileName));
        EXPECT_FALSE(std::filesystem::exists(directory / "ggml-test.bin.part"));
    }
}

TEST_F(ModelDownload, OnlySecureAddressesAreUsedAwayFromThisComputer) {
    source.url = "http://models.example.com/ggml-test.bin";
    const auto error = thrownBy<Error>([&] { downloadModel(source, directory); });
    ASSERT_TRUE(error);
    EXPECT_NE(error->description().find("HTTPS"), std::string::npos);
    EXPECT_TRUE(server.ranges.empty());
}

TEST_F(ModelDownload, ASilentServerEndsTheDownloadAndTheComputerIsTakenToBeOfflineForAWhile) {
    const DownloadLimits quick{std::chrono::milliseconds(300), std::chrono::milliseconds(300), {}};
    server.neverAnswer = true;
    const auto offline = thrownBy<Error>([&] { downloadModel(source, directory, {}, quick); });
    ASSERT_TRUE(offline);
    EXPECT_EQ(offline->code(), kDownloadOffline);
    EXPECT_EQ(offline->description(),
              "The computer seems to be offline: the speech model could not be downloaded (the server did not answer "
              "within 0.3 s).");
    EXPECT_FALSE(std::filesystem::exists(directory / "ggml-test.bin.part")) << "no empty partial file";
    const auto remembered = recentDownloadFailure(directory);
    ASSERT_TRUE(remembered);
    EXPECT_EQ(remembered->reason, offline->description());
    EXPECT_FALSE(recentDownloadFailure(directory, std::chrono::hours(1),
                                       std::chrono::system_clock::now() + std::chrono::minutes(61)));

    // Data that stops flowing is an interruption: what came is kept, and the next run resumes.
    server.neverAnswer = false;
    server.stallAfter = 120000;
    const auto stalled = thrownBy<Error>([&] { downloadModel(source, directory, {}, quick); });
    ASSERT_TRUE(stalled);
    EXPECT_EQ(stalled->description(),
              "The speech model download was interrupted (no data came for 0.3 s); running again resumes it.");
    EXPECT_EQ(std::filesystem::file_size(directory / "ggml-test.bin.part"), 120000u);
    downloadModel(source, directory, {}, quick);
    EXPECT_EQ(contents(directory / source.fileName), model);
    EXPECT_EQ(server.ranges.back(), "bytes=120000-");
    EXPECT_FALSE(recentDownloadFailure(directory)) << "a download that worked clears the memory";
}

TEST_F(ModelDownload, TwoDownloadsAtOnceFetchTheFileOnce) {
    server.holdAnswers = true;
    std::atomic<int> finished{0};
    std::vector<std::string> failures(2);
    std::vector<std::thread> downloads;
    for (size_t i = 0; i < 2; ++i)
        downloads.emplace_back([&, i] {
            try {
                downloadModel(source, directory);
            } catch (const Error& error) {
                failures[i] = error.description();
            }
            ++finished;
        });
    // Both are under way before the first answer comes.
    while (server.ranges.empty()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    server.releaseAnswers();
    while (finished < 2) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    for (auto& download : downloads) download.join();
    EXPECT_EQ(failures, std::vector<std::string>(2));
    EXPECT_EQ(server.ranges, std::vector<std::string>{""}) << "the second found the model installed";
    EXPECT_EQ(contents(directory / source.fileName), model);
}

// The launch and the first dictation both make sure of the model: one download, and the
// dictation meanwhile is recognized by PocketSphinx instead of waiting for it.
TEST_F(ModelDownload, TwoThreadsEnsuringTheModelDownloadItOnceWhileRecognitionGoesOn) {
    writeRandomWhisperModel(home.root() / "random.bin");
    const QByteArray whisperModel = contents(home.root() / "random.bin");
    ModelFileServer models{whisperModel};
    models.holdAnswers = true;
    const ModelSource whisperSource{models.url(), "ggml-random.bin", std::nullopt, sha1(whisperModel)};
    WhisperSetup setup;
    setup.modelPath = directory / whisperSource.fileName;
    setup.threads = 1;
    setup.installer = [&] { downloadModel(whisperSource, directory); };
    std::mutex mutex;
    std::vector<std::string> notices;
    Transcriber transcriber("en-US", std::make_shared<WhisperEngine>(setup), makePocketSphinxEngine("en-US"),
                            [&](const std::string& notice) {
                                const std::lock_guard lock(mutex);
                                notices.push_back(notice);
                            });
    std::atomic<int> finished{0};
    const auto ensure = [&] {
        transcriber.ensureModelInstalled();
        ++finished;
    };
    std::thread launch(ensure);
    std::thread firstDictation(ensure);
    while (models.ranges.empty()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const auto recording = assets::goForwardWav(home.root());
    EXPECT_EQ(transcriber.transcribeDetailed(recording, {}).text, "go forward ten meters");
    models.releaseAnswers();
    while (finished < 2) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    launch.join();
    firstDictation.join();
    EXPECT_EQ(models.ranges, std::vector<std::string>{""});
    EXPECT_EQ(contents(setup.modelPath), whisperModel);
    EXPECT_EQ(notices, (std::vector<std::string>{
                           "Downloading on-device speech model for en-US\u2026",
                           "Using the PocketSphinx speech engine for en-US until the whisper model is downloaded.",
                       }));
}

TEST(ProgressBar, ShowsTheShareReceived) {
    EXPECT_EQ(progressBar(0, 1048576), "[------------------------------]    0%  0.0 / 1.0 MB");
    EXPECT_EQ(progressBar(524288, 1048576), "[###############---------------]   50%  0.5 / 1.0 MB");
    EXPECT_EQ(progressBar(1048576, 1048576), "[##############################]  100%  1.0 / 1.0 MB");
    EXPECT_EQ(progressBar(2097152, std::nullopt), "[??????????????????????????????]  2.0 MB");
}

}  // namespace
}  // namespace vesk::test
