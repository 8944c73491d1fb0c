#pragma once

#include <string>

// The start-up modes of the ProjectVesk executable. Each returns the process's exit status.
namespace vesk::modes {

int runApp(int argc, char** argv);
int runTranscribe(const std::string& path, const std::string& locale);
int runStreamTranscribe(const std::string& path, const std::string& locale);
int runFormat(const std::string& text);
int runTransform(const std::string& text);
int runSelfTest();
int runDoctor(const std::string& locale);

}  // namespace vesk::modes
