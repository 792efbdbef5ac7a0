// Ravlin: starts the window as the front end that fits the machine (a desktop window, or the
// console on a text-only rescue system) and runs it until the window unloads.
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/console/console_front_end.hpp"
#include "app/console/image_console.hpp"
#include "app/form1.hpp"
#include "app/repair_options.hpp"
#include "app/restore.hpp"
#include "platform/backend.hpp"
#include "ravlin_version.hpp"
#ifdef RAVLIN_WITH_WIN32_WINDOW
#include "app/win32/win32_front_end.hpp"
#elif defined(RAVLIN_WITH_QT)
#include "app/qt/qt_front_end.hpp"
#endif

namespace {

constexpr int kUsageError = 2;

// The usage text: the synopsis and the front ends differ between the builds' windows.
#ifdef _WIN32
constexpr const char* kSynopsis =
    "Usage: ravlin [--gui | --console] [--guest DIR] [--yes | --force] [--dry-run]\n"
    "              [--drivers-from DIR]\n";
constexpr const char* kFrontEnds =
    "  --gui              the window (the default)\n"
    "  --console          the text front end, in the command prompt it was started from\n"
    "  --guest DIR        answer the folder dialog once with DIR (the guest's Windows\n"
    "                     directory, e.g. E:\\WINDOWS), run one attempt, then end\n";
constexpr const char* kWindowOptions = "";
constexpr const char* kMachine =
    "At a command prompt or in a batch file, \"ravlin ...\" runs ravlin.com, the console\n"
    "program: the prompt waits for it and sets ERRORLEVEL to its exit status. ravlin.exe\n"
    "is the window, for a double-click.\n";
#else
constexpr const char* kSynopsis =
    "Usage: ravlin [--gui | --console] [--guest DIR] [--yes | --force] [--dry-run]\n"
    "              [--drivers-from DIR] [--screenshot FILE]\n";
constexpr const char* kFrontEnds =
    "  --gui              the desktop window (the default when a display is available)\n"
    "  --console          the text front end (the default without a display)\n"
    "  --guest DIR        answer the folder dialog once with DIR (the guest's Windows\n"
    "                     directory, e.g. /mnt/xp/WINDOWS), run one attempt, then end\n";
constexpr const char* kWindowOptions =
    "  --screenshot FILE  write a picture of the idle window to FILE (PNG) and end\n";
constexpr const char* kMachine =
    "Environment: RAVLIN_DRIVES maps drive letters to folders (\"C=/mnt/xp;D=/media/cd\";\n"
    "Z: is / by default); RAVLIN_REGISTRY is the registry store folder (default\n"
    "$XDG_STATE_HOME/ravlin/registry).\n";
#endif

void PrintUsage(std::ostream& out) {
  out << kSynopsis
      << "       ravlin --console --restore DIR\n"
         "\n"
         "Repairs an offline Windows XP installation that no longer starts after its\n"
         "motherboard was replaced: mounts the guest's SYSTEM hive, imports the standard IDE\n"
         "controller settings into every control set, copies the IDE driver files into the\n"
         "guest and unmounts the hive.\n"
         "\n"
      << kFrontEnds
      << "  --yes              answer every message box with its first button (OK, Yes)\n"
      << kWindowOptions
      << "  --help             show this text\n"
         "  --version          show the version\n"
         "\n"
         "Exit status: 0 after a completed repair, 1 when the attempt returned to idle or the\n"
         "window was closed, 2 for a usage error or a program folder Ravlin cannot work from\n"
         "(its path holds a double quotation mark). With --dry-run, 0 when the repair would\n"
         "complete and 1 when it would stop, so that \"ravlin --dry-run ... && ravlin --yes\n"
         "...\" repairs only a guest the dry run found repairable.\n"
         "\n"
      << kMachine << ravlin::kRepairOptionsUsage;
}

struct Arguments {
  bool gui = false;
  bool console = false;
  bool help = false;
  bool version = false;
  std::optional<std::filesystem::path> screenshot;
  ravlin::ConsoleOptions consoleOptions;
  ravlin::RepairOptions repair;
};

std::optional<Arguments> Parse(const std::vector<std::string>& words) {
  Arguments arguments;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    const bool hasValue = i + 1 < words.size();
    if (word == "--gui") {
      arguments.gui = true;
    } else if (word == "--console") {
      arguments.console = true;
    } else if (word == "--yes") {
      arguments.consoleOptions.yes = true;
    } else if (word == "--guest" && hasValue) {
      arguments.consoleOptions.guest = words[++i];
#ifndef _WIN32
    } else if (word == "--screenshot" && hasValue) {
      arguments.screenshot = words[++i];
#endif
    } else if (ravlin::ParseRepairOption(words, i, arguments.repair)) {
    } else if (word == "--help" || word == "-h") {
      arguments.help = true;
    } else if (word == "--version") {
      arguments.version = true;
    } else {
      std::cerr << "ravlin: " << (word.rfind("--", 0) == 0 && !hasValue ? "missing value or " : "")
                << "unknown option: " << word << "\n";
      return std::nullopt;
    }
  }
  if (arguments.gui && arguments.console) {
    std::cerr << "ravlin: --gui and --console exclude each other\n";
    return std::nullopt;
  }
  return arguments;
}

int RunConsole(const Arguments& arguments, const ravlin::PlatformOptions& options) {
  ravlin::ConsoleOptions consoleOptions = arguments.consoleOptions;
  consoleOptions.interactive = ravlin::StandardInputIsTerminal();
  consoleOptions.force = arguments.repair.force;
  auto frontEnd = std::make_shared<ravlin::ConsoleFrontEnd>(std::cin, std::cout, consoleOptions);
  if (arguments.repair.image)
    return ravlin::RunImageRepairInConsole(consoleOptions, arguments.repair, options);
  if (arguments.repair.restore)
    return ravlin::RestoreGuest(ravlin::MakePlatform(frontEnd, options), *arguments.repair.restore,
                                std::cout);
  ravlin::Form1 form(ravlin::MakePlatform(frontEnd, options), *frontEnd);
  ravlin::ApplyRepairOptions(form, arguments.repair);
  return frontEnd->Run(form);
}

}  // namespace

int main(int argc, char** argv) {
  ravlin::AttachToStartingConsole();
  std::vector<std::string> words = ravlin::ProgramArguments(argc, argv);
  if (!words.empty()) words.erase(words.begin());
  const auto arguments = Parse(words);
  if (!arguments) {
    PrintUsage(std::cerr);
    return kUsageError;
  }
  if (arguments->help) {
    PrintUsage(std::cout);
    return 0;
  }
  if (arguments->version) {
    std::cout << "Ravlin " << ravlin::kVersionText << "\n";
    return 0;
  }
  const auto options = ravlin::PlatformOptions::FromEnvironment();
  [[maybe_unused]] const bool scripted = arguments->consoleOptions.guest ||
                                         arguments->consoleOptions.yes ||
                                         arguments->repair.Scripted();
#ifdef RAVLIN_WITH_WIN32_WINDOW
  if (arguments->gui || (!arguments->console && !scripted))
    return ravlin::RunWin32Window(options, arguments->repair);
#elif defined(RAVLIN_WITH_QT)
  if (arguments->screenshot)
    return ravlin::WriteQtScreenshot(argc, argv, *arguments->screenshot, options);
  if (arguments->gui || (!arguments->console && !scripted && ravlin::QtDisplayAvailable()))
    return ravlin::RunQtWindow(argc, argv, options, arguments->repair);
#else
  // The window is a program of its own, so that the console never loads it; without a
  // display it runs the console itself.
  if (arguments->gui || arguments->screenshot || (!arguments->console && !scripted)) {
    const std::string reason = ravlin::StartWindowProgram(argv);
    if (arguments->gui || arguments->screenshot) {
      std::cerr << "ravlin: this build has no desktop window (" << reason << "); use --console\n";
      return kUsageError;
    }
  }
#endif
  return RunConsole(*arguments, options);
}
