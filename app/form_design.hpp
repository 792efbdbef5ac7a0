#pragma once

#include <array>
#include <string_view>

namespace ravlin {

enum class ControlId { Browse, Text1, Label4, Label3, Label2, Label1 };
enum class ControlKind { CommandButton, TextBox, Label };

// A control as the window was designed: position and size in twips relative to the client
// area (15 twips are one pixel at 96 dpi), and its place in the tab order.
struct ControlDesign {
  ControlId id;
  std::string_view name;
  ControlKind kind;
  std::string_view designText;
  int left;
  int top;
  int width;
  int height;
  int tabIndex;
  bool wordWrap;
};

inline constexpr int kClientWidthTwips = 5085;
inline constexpr int kClientHeightTwips = 2565;
inline constexpr int kTwipsPerPixelAt96Dpi = 15;

inline constexpr std::string_view kApplicationTitle = "Ravlin";
inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 0;
inline constexpr std::string_view kMakerWebAddress = "https://ravlin.example.org";
inline constexpr std::string_view kDesignCaption = "Form1";

inline constexpr std::string_view kDescription =
    "This utility is designed to install standard IDE controller drivers from another "
    "computer or WinPE bootable CD.  This is useful if you have replaced a motherboard and "
    "Windows no longer loads due to the correct IDE controller driver not being installed "
    "for the new board.";

// The controls in the order in which the window stores them.
inline constexpr std::array<ControlDesign, 6> kControlDesigns{{
    {ControlId::Browse, "Browse", ControlKind::CommandButton, "Browse", 3840, 1440, 1095, 375, 1,
     false},
    {ControlId::Text1, "Text1", ControlKind::TextBox, "", 120, 1560, 3495, 285, 0, false},
    {ControlId::Label4, "Label4", ControlKind::Label, kDescription, 120, 120, 4815, 855, 5, true},
    {ControlId::Label3, "Label3", ControlKind::Label, "Idle", 840, 2160, 3735, 255, 4, false},
    {ControlId::Label2, "Label2", ControlKind::Label, "Status:", 240, 2160, 495, 255, 3, false},
    {ControlId::Label1, "Label1", ControlKind::Label,
     "Choose a Guest Windows directory to begin:", 240, 1320, 3255, 255, 2, false},
}};

const ControlDesign& DesignOf(ControlId id);

}  // namespace ravlin
