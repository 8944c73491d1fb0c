#include "support/TestEnvironment.h"
#include "text/DataFile.h"
#include "text/LearnedStore.h"
#include "text/SnippetStore.h"
#include "text/TextFormatter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <fstream>
#include <tuple>

namespace vesk {
namespace {

namespace fs = std::filesystem;

// What the product wrote to its log while a test ran; the text code logs on the calling thread.
class LogCapture {
public:
    LogCapture() : previous_(qInstallMessageHandler(&LogCapture::handle)) { lines().clear(); }
    ~LogCapture() { qInstallMessageHandler(previous_); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    static std::vector<std::string>& lines() {
        static std::vector<std::string> captured;
        return captured;
    }
    // How many lines name `path`.
    static long linesNaming(const fs::path& path) {
        return std::ranges::count_if(
            lines(), [&](const std::string& line) { return line.find(path.string()) != std::string::npos; });
    }

private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString& message) {
        lines().push_back(message.toStdString());
    }
    QtMessageHandler previous_;
};

// What stands at a data file's path instead of a regular file of sensible size.
enum class Stand { fifo, linkToDevZero, directory, tooLarge };

void place(Stand stand, const fs::path& path) {
    fs::create_directories(path.parent_path());
    switch (stand) {
        case Stand::fifo: ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); break;
        case Stand::linkToDevZero: fs::create_symlink("/dev/zero", path); break;
        case Stand::directory: fs::create_directory(path); break;
        case Stand::tooLarge: {
            // Valid JSON beyond the limit: only its size keeps it out.
            std::ofstream out(path, std::ios::binary);
            out << "{\"jira\": \"Jira\", \"pad\": \"" << std::string(DataFile::kMaxBytes, ' ') << "\"}";
            break;
        }
    }
}

// Each data file with what its store does when the file cannot be read.
enum class Store { dictionary, learned, snippets };

using DataFileCase = std::tuple<Store, Stand>;

void PrintTo(const DataFileCase& row, std::ostream* out) {
    *out << static_cast<int>(std::get<0>(row)) << "/" << static_cast<int>(std::get<1>(row));
}

class UnusableDataFile : public testing::TestWithParam<DataFileCase> {};

// Nothing hangs or grows without bound (the suite's timeout would catch a hang); the
// file reads as unreadable by its store's rules and is named once in the log.
TEST_P(UnusableDataFile, ReadsAsUnreadableAndIsNamedOnce) {
    test::ScratchHome home;
    const LogCapture log;
    const auto [store, stand] = GetParam();
    switch (store) {
        case Store::dictionary:
            place(stand, TextFormatter::dictionaryPath());
            EXPECT_TRUE(TextFormatter::loadDictionary().empty());
            EXPECT_EQ(LogCapture::linesNaming(TextFormatter::dictionaryPath()), 1);
            break;
        case Store::snippets:
            place(stand, SnippetStore::filePath());
            EXPECT_EQ(SnippetStore::expand("my sig"), "my sig");
            EXPECT_EQ(LogCapture::linesNaming(SnippetStore::filePath()), 1);
            break;
        case Store::learned: {
            const fs::path path = LearnedStore::filePath();
            place(stand, path);
            EXPECT_EQ(LearnedStore::apply("jira"), "jira");
            EXPECT_EQ(LogCapture::linesNaming(path), 1);
            // Learning sets the unusable file aside and starts a regular one.
            LearnedStore::add("jiro", "Jira");
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path)));
            EXPECT_EQ(LearnedStore::apply("jiro"), "Jira");
            int setAside = 0;
            for (const auto& entry : fs::directory_iterator(path.parent_path()))
                setAside += entry.path().filename().string().starts_with("learned.json.unreadable-");
            EXPECT_EQ(setAside, 1);
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(DataFile, UnusableDataFile,
                         testing::Combine(testing::Values(Store::dictionary, Store::learned, Store::snippets),
                                          testing::Values(Stand::fifo, Stand::linkToDevZero, Stand::directory,
                                                          Stand::tooLarge)));

TEST(DataFile, ReadsRegularFilesAndLinksToThemUpToTheLimit) {
    test::ScratchHome home;
    const LogCapture log;
    const fs::path target = home.root() / "real.json";
    std::ofstream(target, std::ios::binary) << "{\"jira\": \"Jira\"}" << std::string(DataFile::kMaxBytes - 16, ' ');
    fs::create_directories(TextFormatter::dictionaryPath().parent_path());
    fs::create_symlink(target, TextFormatter::dictionaryPath());
    EXPECT_EQ(TextFormatter::loadDictionary(), (TextFormatter::Dictionary{{"jira", "Jira"}}));
    EXPECT_EQ(DataFile::read(home.root() / "missing.json"), std::nullopt);
    EXPECT_EQ(LogCapture::linesNaming(home.root()), 0);  // a missing file is no news
}

}  // namespace
}  // namespace vesk
