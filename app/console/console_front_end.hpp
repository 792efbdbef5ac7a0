#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/form1.hpp"
#include "platform/ui.hpp"

namespace ravlin {

struct ConsoleOptions {
  // Answers the folder dialog once with this folder, then the program ends.
  std::optional<std::filesystem::path> guest;
  // Answers every box with its first button.
  bool yes = false;
  // As `yes`, and also answers the warnings whose default is their second button.
  bool force = false;
  // A person can answer at the terminal.
  bool interactive = false;
};

// The window as text, for rescue systems without a desktop and for scripted use: the
// caption and the window's texts, each status change as "Status: <text>", each box with its
// title, text and buttons, and the folder dialog as a question for a path.
class ConsoleFrontEnd : public Ui, public FormView {
 public:
  ConsoleFrontEnd(std::istream& in, std::ostream& out, ConsoleOptions options);

  int MessageBox(const std::string& text, int style, const std::string& title) override;
  std::optional<std::filesystem::path> BrowseForFolder(Handle owner,
                                                       const std::string& prompt) override;
  void DoEvents() override {}

  void Shown() override;
  void CaptionChanged(const std::string& caption) override;
  void TextChanged(ControlId control, const std::string& text) override;
  void Unloaded() override;
  void StatusExplained(const std::string& explanation) override;
  void GuestLeftUnchanged() override;
  void ControllersJudged(const std::vector<std::string>& lines) override;
  bool ShowsControllerLines() const override { return true; }

  // Runs the window until it unloads or the user closes it: 0 after a completed repair or a
  // dry run whose repair would complete, 2 when the window refused to start, 1 otherwise.
  int Run(Form1& form);

 private:
  std::optional<std::string> ReadLine();
  // The folder the person named, made absolute; nothing, with the reason shown, for a folder
  // on the network.
  std::optional<std::filesystem::path> Chosen(const std::filesystem::path& folder);
  int AskAnswer(int style);

  std::istream& in_;
  std::ostream& out_;
  ConsoleOptions options_;
  bool guestOffered_ = false;
  bool unloaded_ = false;
};

}  // namespace ravlin
