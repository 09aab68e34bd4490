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

  // The first step is drawn from the scene's random generator.
  SaverScreens(AnimScene& scene, DigestSource digests);

  // One tick: unless paused, advances the scene and starts the next screen
  // once at most two items are left.
  void Tick();

  void TogglePause() { m_paused = !m_paused; }
  // The current screen ends at the next tick.
  void Skip() { m_skip = true; }

  bool Paused() const { return m_paused; }
  int RotationStep() const { return m_step; }
  void SetRotationStep(int step) { m_step = step; }
  const std::string& FeedId() const { return m_feedId; }
  const std::string& Title() const { return m_title; }

 private:
  void StartNextScreen();
  AnimItem& AddPictureDecoration();
  void AddDigitShower(AnimItem& after);
  void AddStyle0(bool withEmoticons);
  void AddStyle2();
  void AddStyle3();
  void AddClosingScreen(AnimItem& after);
  Point PathPoint(int kind, Point place, Point corner, const PathParameters& path);

  AnimScene& m_scene;
  DigestSource m_digests;
  XmlDoc m_feeds;
  DigestFeed m_feed;
  std::string m_title, m_feedId;
  int m_step = 0;
  bool m_paused = false;
  bool m_skip = false;
};

}  // namespace vrel::saver
