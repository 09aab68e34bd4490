#include "saver/anim_scene.h"

#include <algorithm>
#include <cmath>

namespace vrel::saver {

// ---- AnimItem

void AnimItem::Reset(AnimScene& scene, std::string text) {
  *this = AnimItem();
  scene_ = &scene;
  text_ = std::move(text);
}

AnimItem& AnimItem::SetTextFont(std::string_view description) {
  font_ = scene_->Font(description);
  return *this;
}

AnimItem& AnimItem::SetPicture(int resource, int cell, int cellSize) {
  picture_ = scene_->Picture(resource, pictureWidth_);
  cell_ = cell;
  cellSize_ = cellSize;
  return *this;
}

AnimItem& AnimItem::SetColour(Colour colour) {
  colour_ = targetColour_ = colour;
  return *this;
}

AnimItem& AnimItem::PlaceAt(int x, int y) {
  StartAt(x, y);
  return Target(x, y);
}

AnimItem& AnimItem::StartAt(int x, int y) {
  start_ = drawnPos_ = {x, y};
  posX_ = x;
  posY_ = y;
  return *this;
}

AnimItem& AnimItem::Target(int x, int y) {
  target_ = {x, y};
  return *this;
}

AnimItem& AnimItem::TargetRelative(int dx, int dy) { return Target(start_.x + dx, start_.y + dy); }

AnimItem& AnimItem::SetSteps(int steps) {
  steps_ = steps;
  return *this;
}

AnimItem& AnimItem::FadeIn() {
  flags_ |= kFadeIn;
  return *this;
}

AnimItem& AnimItem::FadeOut() {
  flags_ |= kFadeOut;
  return *this;
}

AnimItem& AnimItem::RightAlign() {
  flags_ |= kRightAlign;
  return *this;
}

AnimItem& AnimItem::Centre() {
  flags_ |= kCentre;
  return *this;
}

AnimItem& AnimItem::WaitFor(AnimItem& other) {
  waiting_ = true;
  other.followers_.push_back(this);
  return *this;
}

AnimItem& AnimItem::StartWith(AnimItem& other) {
  // Only a waiting item is ever released; one already running takes this one
  // along at once.
  waiting_ = other.waiting_;
  if (waiting_) other.companions_.push_back(this);
  return *this;
}

void AnimItem::Release() {
  if (!waiting_) return;
  waiting_ = false;
  for (AnimItem* companion : companions_) companion->Release();
  companions_.clear();
}

Point AnimItem::AdvancePosition() {
  if (!moved_ || target_ == start_) return drawnPos_;
  if (steps_ == 0) {
    posX_ = target_.x;
    posY_ = target_.y;
  } else {
    posX_ += (target_.x - posX_) / steps_;
    posY_ += (target_.y - posY_) / steps_;
  }
  return {static_cast<int>(posX_), static_cast<int>(posY_)};
}

void AnimItem::AdvanceColour() {
  auto fadeIn = [this](int current, int target) { return steps_ == 0 ? target : current + (target - current) / steps_; };
  auto fadeOut = [this](int current) { return steps_ == 0 ? 0 : current - current / steps_; };
  if (flags_ & kFadeIn) {
    colour_ = {fadeIn(colour_.red, targetColour_.red), fadeIn(colour_.green, targetColour_.green),
                fadeIn(colour_.blue, targetColour_.blue)};
  } else if (flags_ & kFadeOut) {
    colour_ = {fadeOut(colour_.red), fadeOut(colour_.green), fadeOut(colour_.blue)};
  }
}

void AnimItem::Cover(const Rect& rect) {
  oldRect_ = rect == rect_ ? Rect{} : rect_;
  rect_ = rect;
}

void AnimItem::Draw(AnimCanvas& canvas, int defaultFont) {
  const int x = drawnPos_.x;
  const int y = drawnPos_.y;
  if (IsPicture()) {
    const int s = cellSize_;
    const int columns = s > 0 ? pictureWidth_ / s : 0;
    if (picture_ < 0 || columns <= 0) return;
    const int left = (flags_ & kCentre) ? x - s / 2 : x;
    const int sourceLeft = (cell_ % columns) * s;
    const int sourceTop = (cell_ / columns) * s;
    canvas.DrawCell(picture_, {sourceLeft, sourceTop, sourceLeft + s, sourceTop + s}, {left, y});
    Cover({left, y, left + s, y + s});
    return;
  }
  const int font = font_ >= 0 ? font_ : defaultFont;
  const TextSize size = canvas.MeasureText(font, text_);
  Rect rect{x, y, x + size.width + 1, y + 2 * size.height + 1};
  if (flags_ & kCentre) {
    rect.left = x - size.width / 2;
    rect.right = x + size.width / 2 + 2;
  } else if (flags_ & kRightAlign) {
    rect.left = x - size.width - 1;
    rect.right = x;
  }
  canvas.DrawText(font, text_, {rect.left, y}, colour_);
  Cover(rect);
}

// ---- AnimScene

AnimScene::AnimScene(AnimCanvas& canvas, uint32_t seed) : canvas_(canvas), random_(seed) {}

void AnimScene::SetUp(const Rect& rect) {
  rect_ = rect;
  canvas_.SetUp(rect);
  defaultFont_ = Font(kDefaultFontDescription);
}

AnimItem* AnimScene::TakeFromPool() {
  if (freeItems_.empty()) {
    poolBlocks_.push_back(std::make_unique<AnimItem[]>(kPoolBlock));
    AnimItem* block = poolBlocks_.back().get();
    for (int i = kPoolBlock - 1; i >= 0; --i) freeItems_.push_back(block + i);
  }
  AnimItem* item = freeItems_.back();
  freeItems_.pop_back();
  return item;
}

AnimItem& AnimScene::AddItem(std::string text) {
  AnimItem* item = TakeFromPool();
  item->Reset(*this, std::move(text));
  items_.push_back(item);
  return *item;
}

AnimItem& AnimScene::CloneItem(AnimItem& item) {
  AnimItem& clone = AddItem(item.text_);
  clone.font_ = item.font_;
  clone.flags_ = item.flags_ & (AnimItem::kRightAlign | AnimItem::kCentre);
  clone.picture_ = item.picture_;
  clone.pictureWidth_ = item.pictureWidth_;
  clone.cell_ = item.cell_;
  clone.cellSize_ = item.cellSize_;
  clone.PlaceAt(item.target_.x, item.target_.y);
  clone.SetColour(item.targetColour_);
  return clone.WaitFor(item);
}

void AnimScene::ShowRects(const AnimItem& item) {
  canvas_.Show(item.rect_);
  if (!item.oldRect_.IsEmpty()) canvas_.Show(item.oldRect_);
}

int AnimScene::Step() {
  for (const AnimItem* item : items_) canvas_.Erase(item->rect_);

  // Followers start with the next step, not later in this one.
  std::vector<AnimItem*> released;
  for (AnimItem* item : items_) {
    if (item->waiting_) continue;
    const Point position = item->AdvancePosition();
    item->AdvanceColour();
    const bool lastStep = item->steps_ == 0;
    --item->steps_;
    if (lastStep) {
      released.insert(released.end(), item->followers_.begin(), item->followers_.end());
      item->followers_.clear();
      continue;
    }
    item->drawnPos_ = position;
    item->Draw(canvas_, defaultFont_);
    item->moved_ = true;
  }
  for (AnimItem* follower : released) follower->Release();

  for (const AnimItem* item : items_) ShowRects(*item);

  const int count = ItemCount();
  auto finished = std::stable_partition(items_.begin(), items_.end(), [](const AnimItem* item) { return item->steps_ >= 0; });
  freeItems_.insert(freeItems_.end(), finished, items_.end());
  items_.erase(finished, items_.end());
  return count;
}

void AnimScene::Clear() {
  for (const AnimItem* item : items_) canvas_.Erase(item->rect_);
  for (const AnimItem* item : items_) ShowRects(*item);
  freeItems_.insert(freeItems_.end(), items_.begin(), items_.end());
  items_.clear();
}

int AnimScene::Font(std::string_view description) {
  auto found = fonts_.find(description);
  if (found != fonts_.end()) return found->second;
  const int id = canvas_.CreateFont(ParseFontDescription(description));
  fonts_.emplace(std::string(description), id);
  return id;
}

int AnimScene::Picture(int resource, int& width) {
  auto found = pictures_.find(resource);
  if (found == pictures_.end()) {
    Sheet sheet;
    sheet.id = canvas_.LoadPicture(resource, sheet.width);
    found = pictures_.emplace(resource, sheet).first;
  }
  width = found->second.width;
  return found->second.id;
}

int AnimScene::RandomCoordinate(int low, int extent, int margin, int halfSize) {
  const int edge = std::clamp(extent / 2 - halfSize, 0, std::max(margin, 0));
  return low + edge + random_.Below(extent - 2 * edge);
}

Point AnimScene::RandomPoint(int margin, int halfSize) {
  const int x = RandomCoordinate(rect_.left, rect_.Width(), margin, halfSize);
  const int y = RandomCoordinate(rect_.top, rect_.Height(), margin, halfSize);
  return {x, y};
}

}  // namespace vrel::saver
