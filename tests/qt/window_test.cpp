#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <cmath>
#include <filesystem>
#include <memory>
#include <set>

#include <gtest/gtest.h>

#include "tests/qt/window_fixture.hpp"

namespace ravlin {
namespace {

using testing::CancelDialog;
using testing::ChooseFolder;
using testing::ClickButton;
using testing::DialogUser;
using testing::kPrompt;
using testing::QtWindowTest;
using testing::TempDir;

TEST_F(QtWindowTest, StartsVisibleWithCaptionPromptAndDesignTexts) {
  EXPECT_TRUE(window().isVisible());
  EXPECT_EQ(window().windowTitle().toStdString(),
            "Ravlin  v1.0 for Windows XP  -  " + std::string(kMakerWebAddress));
  EXPECT_EQ(Shows(ControlId::Text1), kPrompt);
  EXPECT_EQ(Shows(ControlId::Label3), "Idle");
  EXPECT_EQ(Shows(ControlId::Label2), "Status:");
  EXPECT_EQ(Shows(ControlId::Label1), "Choose a Guest Windows directory to begin:");
  EXPECT_EQ(Shows(ControlId::Label4), std::string(kDescription));
  EXPECT_EQ(Shows(ControlId::Browse), "Browse");
  EXPECT_TRUE(qobject_cast<QLineEdit*>(&control(ControlId::Text1))->isReadOnly());
  EXPECT_TRUE(user.met.empty()) << "no box at start-up";
}

TEST_F(QtWindowTest, ControlsStandAtTheirDesignPlaceAndSizeInAFixedWindow) {
  const double dpi = window().logicalDpiX();
  const auto pixels = [dpi](int twips) {
    return static_cast<int>(std::lround(twips * dpi / 1440));
  };
  const QSize client(pixels(kClientWidthTwips), pixels(kClientHeightTwips));
  if (dpi == 96) {
    EXPECT_EQ(client, QSize(339, 171));
  }
  EXPECT_EQ(window().size(), client);
  EXPECT_EQ(window().minimumSize(), client);
  EXPECT_EQ(window().maximumSize(), client);

  for (const ControlDesign& design : kControlDesigns) {
    const QRect expected(pixels(design.left), pixels(design.top),
                         pixels(design.left + design.width) - pixels(design.left),
                         pixels(design.top + design.height) - pixels(design.top));
    EXPECT_EQ(control(design.id).geometry(), expected) << design.name;
  }
}

TEST_F(QtWindowTest, TextsFitTheirControlsAndTheDescriptionWraps) {
  auto& description = *qobject_cast<QLabel*>(&control(ControlId::Label4));
  EXPECT_TRUE(description.wordWrap());
  EXPECT_LE(description.heightForWidth(description.width()), description.height());
  for (const ControlId id : {ControlId::Label1, ControlId::Label2, ControlId::Label3}) {
    const QWidget& label = control(id);
    EXPECT_LE(label.sizeHint().width(), label.width()) << Shows(id);
  }
  const QWidget& text1 = control(ControlId::Text1);
  EXPECT_LT(text1.fontMetrics().horizontalAdvance(QString::fromStdString(kPrompt)), text1.width());
}

TEST_F(QtWindowTest, TabOrderFollowsTheTabIndexAndTheTextBoxHasTheFocus) {
  // Labels take no focus; of the others, tab index 0 (Text1) comes before 1 (Browse).
  std::vector<QWidget*> tabStops;
  QWidget* next = &control(ControlId::Text1);
  do {
    if (next->focusPolicy() & Qt::TabFocus) tabStops.push_back(next);
    next = next->nextInFocusChain();
  } while (next != &control(ControlId::Text1));
  EXPECT_EQ(tabStops,
            (std::vector<QWidget*>{&control(ControlId::Text1), &control(ControlId::Browse)}));
  EXPECT_EQ(window().focusWidget(), &control(ControlId::Text1));
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

TEST_F(QtWindowTest, StatusIsPaintedAtOnceWhenTheWorkflowWritesIt) {
  // While the workflow waits for the registry editor, no event loop may run before the
  // next message pump; the status must be on screen already.
  QCoreApplication::processEvents();  // the idle window is on screen
  QWidget& status = control(ControlId::Label3);
  PaintCounter counter;
  status.installEventFilter(&counter);

  program->FrontEnd().TextChanged(ControlId::Label3, "Importing Registry Files...");

  EXPECT_EQ(Shows(ControlId::Label3), "Importing Registry Files...");
  EXPECT_GE(counter.paints, 1);
  status.removeEventFilter(&counter);
}

TEST_F(QtWindowTest, CancelledFolderDialogReturnsToIdle) {
  std::string statusMeanwhile;
  user.Then([&](QWidget& dialog) {
    statusMeanwhile = Shows(ControlId::Label3);
    CancelDialog()(dialog);
  });

  PressBrowse();

  ASSERT_EQ(user.met.size(), 1u);
  EXPECT_EQ(user.met[0].kind, "folder");
  EXPECT_EQ(user.met[0].title, "Choose a Windows Directory");
  EXPECT_EQ(statusMeanwhile, "Choosing a Windows Directory...");
  ExpectIdle();
}

TEST_F(QtWindowTest, FolderWithoutHiveIsRejectedWithItsDriveLetterPath) {
  std::filesystem::create_directories(drive / "XP Guest");
  user.Then(ChooseFolder((drive / "XP Guest").string()));
  user.Then(ClickButton(QMessageBox::Ok));

  PressBrowse();

  ASSERT_EQ(user.met.size(), 2u);
  const auto& box = user.met[1];
  EXPECT_EQ(box.kind, "box");
  EXPECT_EQ(box.title, "Ravlin");
  EXPECT_EQ(box.text, "Cannot find SYSTEM hive:\nG:\\XP Guest\\system32\\config\\system");
  EXPECT_EQ(box.icon, QMessageBox::NoIcon);
  EXPECT_EQ(box.buttons, std::vector<int>{QMessageBox::Ok});
  ExpectIdle();
}

TEST_F(QtWindowTest, SecondPressAndCloseAreRefusedWhileAPressWaitsThenCloseEnds) {
  std::filesystem::create_directories(drive / "empty");
  bool closeRefused = false;
  std::string statusAfterSecondPress;
  user.Then(ChooseFolder((drive / "empty").string()));
  user.Then([&](QWidget& box) {
    // The press waits in this box; the window's button and close box still deliver.
    PressBrowse();
    statusAfterSecondPress = Shows(ControlId::Label3);
    closeRefused = !window().close() && window().isVisible();
    ClickButton(QMessageBox::Ok)(box);
  });

  PressBrowse();

  EXPECT_EQ(user.met.size(), 2u) << "the second press opened no dialog";
  EXPECT_EQ(statusAfterSecondPress, "Choosing a Windows Directory...");
  EXPECT_TRUE(closeRefused);
  ExpectIdle();

  EXPECT_TRUE(window().close());
  EXPECT_TRUE(program->FrontEnd().Ended());
  EXPECT_TRUE(program->FrontEnd().ClosedByUser());
  EXPECT_FALSE(window().isVisible());
  EXPECT_FALSE(program->Form().Loaded());
}

TEST_F(QtWindowTest, IdleWindowRendersToAPictureWithItsTexts) {
  TempDir folder;
  const auto png = folder / "window.png";
  ASSERT_TRUE(window().grab().save(QString::fromStdString(png.string()), "PNG"));

  QImage picture(QString::fromStdString(png.string()));
  ASSERT_FALSE(picture.isNull());
  const double ratio = picture.devicePixelRatio();
  EXPECT_EQ(picture.size(), window().size() * ratio);

  std::set<QRgb> colours;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) colours.insert(picture.pixel(x, y));
  EXPECT_GE(colours.size(), 8u);

  // Text is drawn in dark pixels on a light ground, in every control that shows a text.
  const auto darkPixelsIn = [&](const QRect& area) {
    int dark = 0;
    const QRect scaled(area.topLeft() * ratio, area.size() * ratio);
    for (int y = scaled.top(); y <= scaled.bottom(); ++y)
      for (int x = scaled.left(); x <= scaled.right(); ++x)
        if (qGray(picture.pixel(x, y)) < 96) ++dark;
    return dark;
  };
  for (const ControlDesign& design : kControlDesigns)
    EXPECT_GT(darkPixelsIn(control(design.id).geometry()), 20) << design.name;
  // The gap between the description and the prompt is empty ground.
  const int gapTop = control(ControlId::Label4).geometry().bottom() + 1;
  const int gapBottom = control(ControlId::Label1).geometry().top() - 1;
  EXPECT_EQ(darkPixelsIn(QRect(0, gapTop, window().width(), gapBottom - gapTop + 1)), 0);
}

}  // namespace
}  // namespace ravlin
