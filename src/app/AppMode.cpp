#include "app/AppDelegate.h"
#include "app/Console.h"
#include "app/DesktopServices.h"
#include "app/DesktopShell.h"
#include "app/Modes.h"
#include "app/SingleInstance.h"
#include "app/TerminationSignals.h"
#include "audio/AudioRecorder.h"
#include "ui/MenuBarQuickPanel.h"
#include "visualization/FieldRendererWidget.h"

#include <QApplication>

namespace vesk::modes {
namespace {

// The console's field card shows the GPU field, tinted by the dictation's state.
FieldWidgetFactory gpuFieldFactory(AppModel& app) {
    return [&app](AudioVisualModel& audio, QWidget* parent) -> QWidget* {
        auto* field = new FieldRendererWidget(audio, parent);  // owned by `parent`
        const auto follow = [&app, field] { field->setStateCode(fieldStateCode(app.uiState())); };
        QObject::connect(&app, &AppModel::uiStateChanged, field, follow);
        follow();
        return field;
    };
}

}  // namespace

int runApp(int argc, char** argv) {
    // Without a display Qt would abort with its own message; say what is missing instead.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        console::printError(
            "Project Vesk runs in a desktop session (X11, or Wayland with XWayland), and none was found. "
            "Start it from your desktop, or see `ProjectVesk --doctor`.");
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ProjectVesk"));
    QApplication::setApplicationDisplayName(QStringLiteral("Project Vesk"));
    QGuiApplication::setDesktopFileName(QStringLiteral("ProjectVesk"));
    // The tray item keeps running with every window closed.
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    if (instance.handOffToRunningInstance()) return 0;

    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &application, [] { QCoreApplication::quit(); });

    AudioRecorder::cleanupAbandonedRecordings();
    const DesktopAudio audio;
    const auto link = std::make_shared<ShellLink>();
    AppDelegate app(makeDesktopServices(link, audio, [] { QCoreApplication::quit(); }));
    connectFrames(app, audio);

    ConsoleWindowOptions console;
    console.makeField = gpuFieldFactory(app);
    DesktopShell shell(app, std::move(console));
    link->shell = &shell;

    QObject::connect(&instance, &SingleInstance::showRequested, &app, [&app] { app.showMainWindow(); });
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &app, [&app] { app.applicationWillTerminate(); });
    app.applicationDidFinishLaunching();
    return QApplication::exec();
}

}  // namespace vesk::modes
