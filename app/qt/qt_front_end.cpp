#include "app/qt/qt_front_end.hpp"

#include <QApplication>
#include <QEventLoop>
#include <QPixmap>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "app/qt/qt_window.hpp"

namespace ravlin {

namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// A display named in the environment whose server is gone (a rescue system's desktop that
// was stopped) would make Qt abort at start-up, so local servers are looked for first.
bool X11DisplayReachable(const std::string& display) {
  if (display.empty()) return false;
  if (display.front() != ':') return true;  // a remote server: only connecting would tell
  const std::string number = display.substr(1, display.find('.') - 1);
  return std::filesystem::exists("/tmp/.X11-unix/X" + number);
}

bool WaylandDisplayReachable(const std::string& display) {
  if (display.empty()) return false;
  const std::filesystem::path socket(display);
  return std::filesystem::exists(
      socket.is_absolute() ? socket : std::filesystem::path(Variable("XDG_RUNTIME_DIR")) / socket);
}

}  // namespace

bool QtDisplayAvailable() {
  return WaylandDisplayReachable(Variable("WAYLAND_DISPLAY")) ||
         X11DisplayReachable(Variable("DISPLAY"));
}

int RunQtWindow(int argc, char** argv, const PlatformOptions& options,
                const RepairOptions& repair) {
  QApplication application(argc, argv);
  // The program ends when the form unloads, not when Qt sees no window left.
  application.setQuitOnLastWindowClosed(false);
  QtProgram program(options, repair);
  QEventLoop untilUnloaded;
  program.FrontEnd().SetEndHandler([&untilUnloaded] { untilUnloaded.quit(); });
  program.Start();
  if (program.Form().RefusedAtStart()) return 2;
  if (!program.FrontEnd().Ended()) untilUnloaded.exec();
  return program.FrontEnd().ClosedByUser() ? 1 : 0;
}

int WriteQtScreenshot(int argc, char** argv, const std::filesystem::path& png,
                      const PlatformOptions& options) {
  // The picture is rendered off screen, so it looks the same on every machine and nothing
  // flashes up on the user's desktop.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  application.setQuitOnLastWindowClosed(false);
  QtProgram program(options);
  program.Start();
  QCoreApplication::processEvents();
  const QPixmap picture = program.FrontEnd().Window().grab();
  program.Form().RequestClose();
  if (picture.isNull() || !picture.save(QString::fromStdString(png.string()), "PNG")) {
    std::cerr << "ravlin: cannot write the picture to " << png.string() << '\n';
    return 1;
  }
  return 0;
}

}  // namespace ravlin
