// The screen saver's screens: one feed per screen in a rotation of four
// presentation styles with a closing screen after every eighth, each screen
// opened by a picture flying together and a shower of digits.
#pragma once

#include <functional>
#include <string>

#include "saver/anim_scene.h"
#include "saver/saver_digest.h"
#include "xml/xml_doc.h"

namespace vrel::saver {

// Fills digest for the next screen; previousFeedId is the feed shown last.
struct PathParameters;

using DigestSource = std::function<void(XmlDoc& digest, const std::string& previousFeedId)>;

class SaverScreens {
 public:
  static constexpr int kPictureSheet = 140;
  static constexpr int kPictureSize = 96;
  static constexpr int kPictureCount = 4;
  static constexpr int kClosingStep = 8;
  static constexpr const char* kName = "brackenfold News Reader Screensaver";

  // The first step is drawn from the scene's random generator.
  SaverScreens(AnimScene& scene, DigestSource digests);

  // One tick: unless paused, advances the scene and starts the next screen
  // once at most two items are left.
  void Tick();

  void TogglePause() { paused_ = !paused_; }
  // The current screen ends at the next tick.
  void Skip() { skip_ = true; }

  bool Paused() const { return paused_; }
  int RotationStep() const { return step_; }
  void SetRotationStep(int step) { step_ = step; }
  const std::string& FeedId() const { return feedId_; }
  const std::string& Title() const { return title_; }

 private:
  void StartNextScreen();
  AnimItem& AddPictureDecoration();
  void AddDigitShower(AnimItem& after);
  // The four screens of the rotation, in its order.
  void AddFallingTitles();
  void AddFallingTitlesWithFaces();
  void AddBracketedTitles();
  void AddGatheringLines();
  AnimItem& AddFallingTitle(const DigestItem& entry, AnimItem& feedTitle, AnimItem* previousTitle);
  void AddClosingScreen(AnimItem& after);
  Point PathPoint(int kind, Point place, Point corner, const PathParameters& path);

  AnimScene& scene_;
  DigestSource digests_;
  XmlDoc feeds_;
  DigestFeed feed_;
  std::string title_, feedId_;
  int step_ = 0;
  bool paused_ = false;
  bool skip_ = false;
};

// What the screen is about, for screen readers: the feed on it (the one G
// opens), the keys, and whether it stands still.
std::string DescribeScreen(const SaverScreens& screens);

}  // namespace vrel::saver
