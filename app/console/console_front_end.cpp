#include "app/console/console_front_end.hpp"

#include <cctype>
#include <istream>
#include <ostream>
#include <sstream>

#include "platform/codepage.hpp"

namespace ravlin {
namespace {

constexpr std::size_t kLineWidth = 78;
constexpr int kRefusedAtStart = 2;

// The program's texts are ANSI with CR LF line breaks; the terminal wants UTF-8 and LF.
std::string ForTerminal(const std::string& text) {
  std::string lines;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines += text[i];
  }
  return AnsiToUtf8(lines);
}

// A network path ("\\server\share\WINDOWS", "\\?\UNC\server\share\WINDOWS"). The repair needs
// the guest on a drive with a letter, and MinGW's std::filesystem::absolute would take such a
// name for a folder of the current drive ("C:\server\share\WINDOWS").
bool IsNetworkPath(const std::filesystem::path& path) {
  const auto& text = path.native();
  const auto separator = [](auto c) {
    return c == '\\' || (c == '/' && std::filesystem::path::preferred_separator == '\\');
  };
  const auto upper = [](auto c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
  if (text.size() < 3 || !separator(text[0]) || !separator(text[1])) return false;
  if (text[2] == '.') return false;  // a device, which the backend refuses by itself
  if (text[2] != '?') return true;
  // The long-path form: "\\?\UNC\..." is on the network, "\\?\C:\..." on a drive.
  return text.size() > 7 && upper(text[4]) == 'U' && upper(text[5]) == 'N' &&
         upper(text[6]) == 'C' && separator(text[7]);
}

std::string WordWrapped(const std::string& text) {
  std::istringstream words(text);
  std::string word, line, result;
  while (words >> word) {
    if (!line.empty() && line.size() + 2 + word.size() > kLineWidth) {
      result += line + "\n";
      line.clear();
    }
    // Sentences keep the two blanks that separate them in the window's text.
    const bool afterSentence = !line.empty() && line.back() == '.';
    line += (line.empty() ? "" : afterSentence ? "  " : " ") + word;
  }
  return result + line;
}

std::string IconName(int style) {
  switch (style & mb::kIconMask) {
    case mb::kCritical:
      return " (critical)";
    case mb::kQuestion:
      return " (question)";
    case mb::kExclamation:
      return " (exclamation)";
    case mb::kInformation:
      return " (information)";
    default:
      return "";
  }
}

struct ButtonSet {
  std::string shown;
  std::string question;
  int first;
  int closed;  // the answer when the box is closed without a choice
};

ButtonSet ButtonsOf(int style) {
  switch (style & mb::kButtonMask) {
    case mb::kOkCancel:
      return {"[OK] [Cancel]", "Answer [o]k or [c]ancel: ", mb::kIdOk, mb::kIdCancel};
    case mb::kYesNo:
      return {"[Yes] [No]", "Answer [y]es or [n]o: ", mb::kIdYes, mb::kIdNo};
    default:
      return {"[OK]", "Press Enter for OK: ", mb::kIdOk, mb::kIdOk};
  }
}

std::string AnswerName(int answer) {
  switch (answer) {
    case mb::kIdCancel:
      return "Cancel";
    case mb::kIdYes:
      return "Yes";
    case mb::kIdNo:
      return "No";
    default:
      return "OK";
  }
}

}  // namespace

ConsoleFrontEnd::ConsoleFrontEnd(std::istream& in, std::ostream& out, ConsoleOptions options)
    : in_(in), out_(out), options_(std::move(options)) {}

std::optional<std::string> ConsoleFrontEnd::ReadLine() {
  std::string line;
  if (!std::getline(in_, line)) return std::nullopt;
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

int ConsoleFrontEnd::AskAnswer(int style) {
  const ButtonSet buttons = ButtonsOf(style);
  // A box whose safe answer is its second button is a warning for a person: --yes leaves it
  // to one, --force answers it.
  const bool warning = (style & mb::kDefaultButton2) != 0;
  if (options_.force || (options_.yes && !warning)) return buttons.first;
  if (options_.yes && !options_.interactive) {
    out_ << "(--yes does not answer this question; --force does)\n";
    return buttons.closed;
  }
  for (;;) {
    out_ << buttons.question << std::flush;
    const auto line = ReadLine();
    if (!line) return buttons.closed;
    const char choice = line->empty() ? '\0' : static_cast<char>(std::tolower((*line)[0]));
    switch (style & mb::kButtonMask) {
      case mb::kOkCancel:
        if (choice == 'o') return mb::kIdOk;
        if (choice == 'c') return mb::kIdCancel;
        break;
      case mb::kYesNo:
        if (choice == 'y') return mb::kIdYes;
        if (choice == 'n') return mb::kIdNo;
        break;
      default:
        return mb::kIdOk;
    }
  }
}

int ConsoleFrontEnd::MessageBox(const std::string& text, int style, const std::string& title) {
  out_ << "\n== " << ForTerminal(title) << IconName(style) << " ==\n"
       << ForTerminal(text) << "\n"
       << ButtonsOf(style).shown << "\n";
  const int answer = AskAnswer(style);
  out_ << "> " << AnswerName(answer) << "\n\n" << std::flush;
  return answer;
}

std::optional<std::filesystem::path> ConsoleFrontEnd::BrowseForFolder(Handle,
                                                                      const std::string& prompt) {
  if (options_.guest) {
    if (guestOffered_) return std::nullopt;
    guestOffered_ = true;
    out_ << ForTerminal(prompt) << ": " << options_.guest->string() << "\n" << std::flush;
    return Chosen(*options_.guest);
  }
  out_ << ForTerminal(prompt) << " (a folder; an empty line cancels): " << std::flush;
  const auto line = ReadLine();
  if (!line || line->empty()) return std::nullopt;
  return Chosen(*line);
}

std::optional<std::filesystem::path> ConsoleFrontEnd::Chosen(const std::filesystem::path& folder) {
  if (!IsNetworkPath(folder)) return std::filesystem::absolute(folder);
  out_ << "Ravlin repairs a guest on a drive with a letter; " << folder.string()
       << " is on the network.\nConnect the share to a drive letter first (net use X: "
          "\\\\server\\share) and name the guest's folder on that drive.\n"
       << std::flush;
  return std::nullopt;
}

void ConsoleFrontEnd::Shown() {}

void ConsoleFrontEnd::CaptionChanged(const std::string& caption) {
  const std::string shown = ForTerminal(caption);
  out_ << shown << "\n"
       << std::string(shown.size(), '=') << "\n"
       << WordWrapped(std::string(DesignOf(ControlId::Label4).designText)) << "\n\n"
       << DesignOf(ControlId::Label1).designText << "\n"
       << std::flush;
}

void ConsoleFrontEnd::TextChanged(ControlId control, const std::string& text) {
  if (control == ControlId::Label3)
    out_ << DesignOf(ControlId::Label2).designText << " " << ForTerminal(text) << "\n";
  else if (control == ControlId::Text1)
    out_ << "[" << ForTerminal(text) << "]  [" << DesignOf(ControlId::Browse).designText << "]\n";
  out_ << std::flush;
}

void ConsoleFrontEnd::StatusExplained(const std::string& explanation) {
  out_ << ForTerminal(explanation) << "\n" << std::flush;
}

void ConsoleFrontEnd::GuestLeftUnchanged() {
  out_ << "Nothing in the guest was changed.\n" << std::flush;
}

void ConsoleFrontEnd::ControllersJudged(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) out_ << ForTerminal(line) << "\n";
  out_ << std::flush;
}

void ConsoleFrontEnd::Unloaded() {
  unloaded_ = true;
}

int ConsoleFrontEnd::Run(Form1& form) {
  form.Load();
  if (form.RefusedAtStart()) return kRefusedAtStart;
  out_ << DesignOf(ControlId::Label2).designText << " " << form.Text(ControlId::Label3) << "\n"
       << std::flush;
  if (options_.guest || !options_.interactive) {
    // One attempt, then the program ends: scripted runs and runs without a person at the
    // terminal must never wait for input that cannot come.
    form.Browse_Click();
  } else {
    while (form.Loaded()) {
      out_ << "\nPress Enter to choose the guest Windows directory (Browse), or type q to quit: "
           << std::flush;
      const auto line = ReadLine();
      if (!line || *line == "q" || *line == "quit") break;
      form.Browse_Click();
    }
  }
  if (unloaded_) return 0;
  // A dry run that found a complete repair succeeds, so that a script can go on to repair.
  const bool dryRunCompletes = form.DryRunSet() && form.LastDryRunCompletes();
  form.RequestClose();
  return dryRunCompletes ? 0 : 1;
}

}  // namespace ravlin
