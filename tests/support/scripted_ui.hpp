#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/form1.hpp"
#include "platform/ui.hpp"

namespace ravlin::testing {

struct ShownBox {
  std::string text;
  int style = 0;
  std::string title;
  int answer = 0;
};

// A user who answers from a script: box answers and folder choices are queued in advance,
// and everything the program shows is recorded in order.
class ScriptedUi : public Ui, public FormView {
 public:
  // Answers for the next boxes; an empty queue answers with the box's first button.
  std::deque<int> boxAnswers;
  // Folder choices for the next dialogs; nothing is a cancel, and so is an empty queue.
  std::deque<std::optional<std::filesystem::path>> folderChoices;

  // Everything shown, in order: "Status: ...", "Text1: ...", "Caption: ...", "Box: <text>",
  // "Dialog: <prompt>", "Shown", "Unloaded".
  std::vector<std::string> events;
  std::vector<ShownBox> boxes;
  std::vector<std::string> statuses;
  int doEventsCalls = 0;
  bool unloaded = false;

  // Hooks for tests that act while the program waits.
  std::function<void()> onDoEvents;
  std::function<void(const ShownBox&)> onBox;

  int MessageBox(const std::string& text, int style, const std::string& title) override;
  std::optional<std::filesystem::path> BrowseForFolder(Handle owner,
                                                       const std::string& prompt) override;
  void DoEvents() override;

  void Shown() override;
  void CaptionChanged(const std::string& caption) override;
  void TextChanged(ControlId control, const std::string& text) override;
  void Unloaded() override;
};

// The first button of a box style: OK for OK-only and OK/Cancel, Yes for Yes/No.
int FirstButton(int style);

}  // namespace ravlin::testing
