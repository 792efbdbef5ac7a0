#include "tests/support/scripted_ui.hpp"

namespace ravlin::testing {

int FirstButton(int style) {
  return (style & mb::kButtonMask) == mb::kYesNo ? mb::kIdYes : mb::kIdOk;
}

int ScriptedUi::MessageBox(const std::string& text, int style, const std::string& title) {
  ShownBox box{text, style, title, FirstButton(style)};
  if (!boxAnswers.empty()) {
    box.answer = boxAnswers.front();
    boxAnswers.pop_front();
  }
  boxes.push_back(box);
  events.push_back("Box: " + text);
  if (onBox) onBox(box);
  return box.answer;
}

std::optional<std::filesystem::path> ScriptedUi::BrowseForFolder(Handle,
                                                                 const std::string& prompt) {
  events.push_back("Dialog: " + prompt);
  if (folderChoices.empty()) return std::nullopt;
  auto choice = folderChoices.front();
  folderChoices.pop_front();
  return choice;
}

void ScriptedUi::DoEvents() {
  ++doEventsCalls;
  if (onDoEvents) onDoEvents();
}

void ScriptedUi::Shown() {
  events.push_back("Shown");
}

void ScriptedUi::CaptionChanged(const std::string& caption) {
  events.push_back("Caption: " + caption);
}

void ScriptedUi::TextChanged(ControlId control, const std::string& text) {
  if (control == ControlId::Label3) {
    statuses.push_back(text);
    events.push_back("Status: " + text);
  } else {
    events.push_back(std::string(DesignOf(control).name) + ": " + text);
  }
}

void ScriptedUi::Unloaded() {
  unloaded = true;
  events.push_back("Unloaded");
}

}  // namespace ravlin::testing
