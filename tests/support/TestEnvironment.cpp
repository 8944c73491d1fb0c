#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QSettings>
#include <QStringList>

#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vesk::test {
namespace {

constexpr const char* kVariables[4] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "TMPDIR"};

}  // namespace

ScratchHome::ScratchHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vesk-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a scratch directory");
    root_ = pattern;
    std::filesystem::create_directories(root_ / "data");
    std::filesystem::create_directories(root_ / "config");
    std::filesystem::create_directories(root_ / "tmp");
    const std::string values[4] = {root_.string(), (root_ / "data").string(), (root_ / "config").string(),
                                   (root_ / "tmp").string()};
    for (int i = 0; i < 4; ++i) {
        if (const char* old = std::getenv(kVariables[i])) {
            had_[i] = true;
            saved_[i] = old;
        }
        ::setenv(kVariables[i], values[i].c_str(), 1);
    }
    // QSettings reads XDG_CONFIG_HOME once per process; point it at this home explicitly
    // so several tests in one process never share a settings file.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(values[2]));
}

ScratchHome::~ScratchHome() {
    for (int i = 0; i < 4; ++i) {
        if (had_[i])
            ::setenv(kVariables[i], saved_[i].c_str(), 1);
        else
            ::unsetenv(kVariables[i]);
    }
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       config && *config ? QString::fromUtf8(config)
                                         : QString::fromUtf8(home ? home : "") + QStringLiteral("/.config"));
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void ScratchHome::writeSupportFile(const std::string& name, const std::string& contents) const {
    std::filesystem::create_directories(supportDirectory());
    std::ofstream(supportDirectory() / name, std::ios::binary) << contents;
}

std::string ScratchHome::readSupportFile(const std::string& name) const {
    std::ifstream in(supportDirectory() / name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments, int timeoutSeconds) {
    QProcess process;
    QStringList list;
    for (const auto& argument : arguments) list << QString::fromStdString(argument);
    process.start(QString::fromStdString(program), list);
    ProcessResult result;
    if (!process.waitForStarted(10'000)) return result;
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutSeconds * 1000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput().toStdString();
    result.err = process.readAllStandardError().toStdString();
    return result;
}

std::string projectVeskExecutable() { return std::string(VESK_BINARY_DIR) + "/ProjectVesk"; }

void failForMissingRig(const std::string& rig, const std::string& reason) {
    if (!::testing::UnitTest::GetInstance()->current_test_info()) return;
    ADD_FAILURE() << "the " << rig << " this test needs could not start: " << reason;
}

}  // namespace vesk::test
