#pragma once

#include <string>
#include <vector>

namespace vesk {

// One requirement of dictation as `--doctor` reports it.
struct DoctorCheck {
    std::string name;  // "desktop session", "keyboard access", ...
    bool ok = false;
    bool required = true;  // dictation cannot work without it
    std::string detail;    // what was found, or what is missing: a sentence
    std::string fix;       // the command or step that mends it; empty when ok
};

// The setup check: what this computer offers the dictation tool, and what to do about
// what it lacks. Each probe looks at the real system; none changes anything.
namespace Doctor {

DoctorCheck desktopSession();
DoctorCheck keyboardAccess();
DoctorCheck microphone();  // blocks briefly while the sound server answers
DoctorCheck trayHost();
DoctorCheck speechRecognition(const std::string& locale);
DoctorCheck rewriting();  // asks the configured model server; needs a Qt application

// "name: ok — detail" or "name: missing — detail Fix: fix", one line.
std::string line(const DoctorCheck& check);
// Dictation can work when every required check is ok.
bool dictationCanWork(const std::vector<DoctorCheck>& checks);

}  // namespace Doctor

}  // namespace vesk
