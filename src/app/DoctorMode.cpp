#include "app/Console.h"
#include "app/Doctor.h"
#include "app/Modes.h"

#include <QCoreApplication>

#include <optional>
#include <vector>

namespace vesk::modes {

int runDoctor(const std::string& locale) {
    // D-Bus and the model server's check need an application object; no window opens.
    std::optional<QCoreApplication> application;
    int argc = 1;
    char name[] = "ProjectVesk";
    char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) application.emplace(argc, argv);

    const std::vector<DoctorCheck> checks{
        Doctor::desktopSession(), Doctor::keyboardAccess(),          Doctor::microphone(),
        Doctor::trayHost(),       Doctor::speechRecognition(locale), Doctor::rewriting()};
    for (const DoctorCheck& check : checks) console::printLine(Doctor::line(check));
    return Doctor::dictationCanWork(checks) ? 0 : 1;
}

}  // namespace vesk::modes
