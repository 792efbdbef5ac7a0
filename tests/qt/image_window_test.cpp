// "Open disk image..." in the window: a real image made in the test, repaired in place with
// the window's settings while the window shows each step.
#include <QEvent>
#include <QMessageBox>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/app/image_disk.hpp"
#include "tests/qt/window_fixture.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using namespace testing;

// Records every text the status label paints.
class PaintedTexts : public QObject {
 public:
  explicit PaintedTexts(QWidget& label) : label_(label) { label_.installEventFilter(this); }
  ~PaintedTexts() override { label_.removeEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      const std::string text = qobject_cast<QLabel*>(&label_)->text().toStdString();
      if (texts.empty() || texts.back() != text) texts.push_back(text);
    }
    return false;
  }
  bool Painted(const std::string& start) const {
    for (const auto& text : texts)
      if (text.starts_with(start)) return true;
    return false;
  }
  std::vector<std::string> texts;

 private:
  QWidget& label_;
};

std::string Met(const std::vector<MetDialog>& met) {
  std::string all;
  for (const auto& dialog : met) all += dialog.kind + ": " + dialog.text + "\n";
  return all;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const auto& line : lines) all += line + "\n";
  return all;
}

TEST_F(QtWindowTest, OpenDiskImageRepairsTheImageInPlaceAndShowsEachStep) {
  if (const auto missing = ImageToolsMissing()) GTEST_SKIP() << *missing;
  // The run folders of the image engine go beside the registry store, in this test's folder.
  TempDir state;
  fs::create_directories(state / "registry");
  ScopedEnv store{"RAVLIN_REGISTRY", (state / "registry").string()};
  options.registryStore = state / "registry";
  Restart({});

  TempDir disk;
  MakeSampleGuest(disk / "guest");
  // Two installations: the window offers the list, the user picks the second.
  MakeNtfsPartition(disk / "windows.ntfs", disk / "guest", disk / "filling", "WINDOWS", 30);
  MakeNtfsPartition(disk / "xp.ntfs", disk / "guest", disk / "filling", "Xp", 30);
  MakeDisk(disk / "disk.raw", {disk / "windows.ntfs", disk / "xp.ntfs"});
  const fs::path image = disk / "guest.qcow2";
  MustRun({"qemu-img", "convert", "-O", "qcow2", (disk / "disk.raw").string(), image.string()});
  fs::remove(disk / "disk.raw");
  fs::remove(disk / "windows.ntfs");
  fs::remove(disk / "xp.ntfs");
  const std::string original = ReadFile(image);

  // A snapshot layer is refused with a box, nothing changed.
  const fs::path layer = disk / "layer.qcow2";
  MustRun({"qemu-img", "create", "-q", "-f", "qcow2", "-b", image.string(), "-F", "qcow2",
           layer.string()});
  const std::string layerBytes = ReadFile(layer);
  user.Then(ChooseFolder(layer.string()));
  user.Then(ClickButton(QMessageBox::Ok));
  program->FrontEnd().OpenImageAction().trigger();
  ASSERT_EQ(user.met.size(), 2u) << Met(user.met);
  EXPECT_EQ(user.met[0].kind, "folder");
  EXPECT_NE(user.met[1].text.find("snapshot layer"), std::string::npos) << user.met[1].text;
  EXPECT_EQ(ReadFile(layer), layerBytes);
  EXPECT_EQ(ReadFile(image), original);
  ExpectIdle();

  // A dry run: the report shows what would change, the window stays and the image is as it was.
  program->FrontEnd().DryRunAction().trigger();
  ASSERT_TRUE(program->FrontEnd().DryRunAction().isChecked());
  user.met.clear();
  user.Then(ChooseFolder(image.string()));
  bool stayedOpen = false;
  user.Then([&](QWidget& list) {
    // With the image open, neither a press of Browse nor closing the window gets through.
    PressBrowse();
    window().close();
    stayedOpen = window().isVisible() && !program->FrontEnd().Ended();
    ChooseItem(1)(list);
  });
  user.Then(ClickButton(QMessageBox::Ok));
  {
    PaintedTexts status(control(ControlId::Label3));
    program->FrontEnd().OpenImageAction().trigger();
    ASSERT_EQ(user.met.size(), 3u) << Met(user.met);
    EXPECT_EQ(user.met[1].kind, "list");
    EXPECT_EQ(user.met[1].items,
              (std::vector<std::string>{"Partition 1: WINDOWS", "Partition 2: Xp"}));
    EXPECT_EQ(user.met[2].kind, "report");
    EXPECT_NE(user.met[2].text.find("\\Xp: nothing in the guest was changed"), std::string::npos)
        << user.met[2].text;
    EXPECT_NE(user.met[2].text.find("primary_ide_channel"), std::string::npos);
    for (const char* step :
         {"Image: opening the image", "Image: finding the partition", "Image: mounting partition 2",
          "Image: repairing Xp", "Image: closing the image"})
      EXPECT_TRUE(status.Painted(step)) << step << " in\n" << Joined(status.texts);
    EXPECT_FALSE(status.Painted("Image: reading the repaired")) << Joined(status.texts);
  }
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(ReadFile(image), original);
  ExpectIdle();
  EXPECT_TRUE(program->FrontEnd().OpenImageAction().isEnabled());

  // The repair: the success box, the window ends, the chosen partition holds the repaired
  // hive and the other is as it was.
  program->FrontEnd().DryRunAction().trigger();
  user.met.clear();
  user.Then(ChooseFolder(image.string()));
  user.Then(ChooseItem(1));
  user.Then(ClickButton(QMessageBox::Ok));
  program->FrontEnd().OpenImageAction().trigger();
  ASSERT_EQ(user.met.size(), 3u) << Met(user.met);
  EXPECT_EQ(user.met[2].text, "Operation completed successfully!  Click OK to exit.");
  EXPECT_TRUE(program->FrontEnd().Ended());
  const auto chosen = ReadBackImage(image, disk.path(), 31, 30, "Xp");
  EXPECT_NE(chosen.hive.find("primary_ide_channel"), std::string::npos);
  EXPECT_TRUE(chosen.atapi);
  const auto other = ReadBackImage(image, disk.path(), 1, 30);
  EXPECT_EQ(other.hive.find("primary_ide_channel"), std::string::npos);
  MustRun({"qemu-img", "check", image.string()});
  EXPECT_TRUE(fs::is_empty(state / "images")) << "a run folder was left behind";
}

}  // namespace
}  // namespace ravlin
