#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vesk::test {

// Points HOME, XDG_DATA_HOME, XDG_CONFIG_HOME and TMPDIR at a fresh directory for the
// life of the object, so tests never touch the person's own files or settings.
class ScratchHome {
public:
    ScratchHome();
    ~ScratchHome();
    ScratchHome(const ScratchHome&) = delete;
    ScratchHome& operator=(const ScratchHome&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path supportDirectory() const { return root_ / "data" / "ProjectVesk"; }
    void writeSupportFile(const std::string& name, const std::string& contents) const;
    std::string readSupportFile(const std::string& name) const;

private:
    std::filesystem::path root_;
    std::string saved_[4];
    bool had_[4] = {};
};

// Sets (or, given nothing, unsets) an environment variable for its lifetime and puts the
// old value back afterwards.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) saved_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedVariable() {
        if (saved_)
            ::setenv(name_, saved_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    std::optional<std::string> saved_;
};

// Output and exit status of a child process.
struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs `program` with `arguments` (no shell), waiting up to `timeoutSeconds`.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         int timeoutSeconds = 60);

// Fails the running test, if one runs, because the rig it needs (`rig`, e.g. "virtual X
// desktop") could not start, for `reason`. A test that needs its rig never passes or
// skips without it; outside a test (a benchmark) nothing happens.
void failForMissingRig(const std::string& rig, const std::string& reason);

// The ProjectVesk executable of this build.
std::string projectVeskExecutable();

}  // namespace vesk::test
