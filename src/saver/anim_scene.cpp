#include "saver/anim_scene.h"

#include <algorithm>
#include <cmath>

namespace vrel::saver {

// ---- AnimItem

void AnimItem::Reset(AnimScene& scene, std::string text) {
  *this = AnimItem();
  m_scene = &scene;
  m_text = std::move(text);
}

AnimItem& AnimItem::SetTextFont(std::string_view description) {
  m_font = m_scene->Font(description);
  return *this;
}

AnimItem& AnimItem::SetPicture(int resource, int cell, int cellSize) {
  m_picture = m_scene->Picture(resource, m_pictureWidth);
  m_cell = cell;
  m_cellSize = cellSize;
  return *this;
}

AnimItem& AnimItem::SetColour(Colour colour) {
  m_colour = m_targetColour = colour;
  return *this;
}

AnimItem& AnimItem::PlaceAt(int x, int y) {
  StartAt(x, y);
  return Target(x, y);
}

AnimItem& AnimItem::StartAt(int x, int y) {
  m_start = m_drawnPos = {x, y};
  m_posX = x;
  m_posY = y;
  return *this;
}

AnimItem& AnimItem::Target(int x, int y) {
  m_target = {x, y};
  return *this;
}

AnimItem& AnimItem::TargetRelative(int dx, int dy) { return Target(m_start.x + dx, m_start.y + dy); }

AnimItem& AnimItem::SetSteps(int steps) {
  m_steps = steps;
  return *this;
}

AnimItem& AnimItem::FadeIn() {
  m_flags |= kFadeIn;
  return *this;
}

AnimItem& AnimItem::FadeOut() {
  m_flags |= kFadeOut;
  return *this;
}

AnimItem& AnimItem::RightAlign() {
  m_flags |= kRightAlign;
  return *this;
}

AnimItem& AnimItem::Centre() {
  m_flags |= kCentre;
  return *this;
}

AnimItem& AnimItem::WaitFor(AnimItem& other) {
  m_waiting = true;
  other.m_followers.push_back(this);
  return *this;
}

AnimItem& AnimItem::StartWith(AnimItem& other) {
  // Only a waiting item is ever released; one already running takes this one
  // along at once.
  m_waiting = other.m_waiting;
  if (m_waiting) other.m_companions.push_back(this);
  return *this;
}

void AnimItem::Release() {
  if (!m_waiting) return;
  m_waiting = false;
  for (AnimItem* companion : m_companions) companion->Release();
  m_companions.clear();
}

Point AnimItem::AdvancePosition() {
  if (!m_moved || m_target == m_start) return m_drawnPos;
  if (m_steps == 0) {
    m_posX = m_target.x;
    m_posY = m_target.y;
  } else {
    m_posX += (m_target.x - m_posX) / m_steps;
    m_posY += (m_target.y - m_posY) / m_steps;
  }
  return {static_cast<int>(m_posX), static_cast<int>(m_posY)};
}

void AnimItem::AdvanceColour() {
  auto fadeIn = [this](int current, int target) { return m_steps == 0 ? target : current + (target - current) / m_steps; };
  auto fadeOut = [this](int current) { return m_steps == 0 ? 0 : current - current / m_steps; };
  if (m_flags & kFadeIn) {
    m_colour = {fadeIn(m_colour.red, m_targetColour.red), fadeIn(m_colour.green, m_targetColour.green),
                fadeIn(m_colour.blue, m_targetColour.blue)};
  } else if (m_flags & kFadeOut) {
    m_colour = {fadeOut(m_colour.red), fadeOut(m_colour.green), fadeOut(m_colour.blue)};
  }
}

void AnimItem::Cover(const Rect& rect) {
  m_oldRect = rect == m_rect ? Rect{} : m_rect;
  m_rect = rect;
}

void AnimItem::Draw(AnimCanvas& canvas, int defaultFont) {
  const int x = m_drawnPos.x;
  const int y = m_drawnPos.y;
  if (IsPicture()) {
    const int s = m_cellSize;
    const int columns = s > 0 ? m_pictureWidth / s : 0;
    if (m_picture < 0 || columns <= 0) return;
    const int left = (m_flags & kCentre) ? x - s / 2 : x;
    const int sourceLeft = (m_cell % columns) * s;
    const int sourceTop = (m_cell / columns) * s;
    canvas.DrawCell(m_picture, {sourceLeft, sourceTop, sourceLeft + s, sourceTop + s}, {left, y});
    Cover({left, y, left + s, y + s});
    return;
  }
  const int font = m_font >= 0 ? m_font : defaultFont;
  const TextSize size = canvas.MeasureText(font, m_text);
  Rect rect{x, y, x + size.width + 1, y + 2 * size.height + 1};
  if (m_flags & kCentre) {
    rect.left = x - size.width / 2;
    rect.right = x + size.width / 2 + 2;
  } else if (m_flags & kRightAlign) {
    rect.left = x - size.width - 1;
    rect.right = x;
  }
  canvas.DrawText(font, m_text, {rect.left, y}, m_colour);
  Cover(rect);
}

// ---- AnimScene

AnimScene::AnimScene(AnimCanvas& canvas, uint32_t seed) : m_canvas(canvas), m_random(seed) {}

void AnimScene::SetUp(const Rect& rect) {
  m_rect = rect;
  m_canvas.SetUp(rect);
  m_defaultFont = Font(kDefaultFontDescription);
}

AnimItem* AnimScene::TakeFromPool() {
  if (m_freeItems.empty()) {
    m_poolBlocks.push_back(std::make_unique<AnimItem[]>(kPoolBlock));
    AnimItem* block = m_poolBlocks.back().get();
    for (int i = kPoolBlock - 1; i >= 0; --i) m_freeItems.push_back(block + i);
  }
  AnimItem* item = m_freeItems.back();
  m_freeItems.pop_back();
  return item;
}

AnimItem& AnimScene::AddItem(std::string text) {
  AnimItem* item = TakeFromPool();
  item->Reset(*this, std::move(text));
  m_items.push_back(item);
  return *item;
}

AnimItem& AnimScene::CloneItem(AnimItem& item) {
  AnimItem& clone = AddItem(item.m_text);
  clone.m_font = item.m_font;
  clone.m_flags = item.m_flags & (AnimItem::kRightAlign | AnimItem::kCentre);
  clone.m_picture = item.m_picture;
  clone.m_pictureWidth = item.m_pictureWidth;
  clone.m_cell = item.m_cell;
  clone.m_cellSize = item.m_cellSize;
  clone.PlaceAt(item.m_target.x, item.m_target.y);
  clone.SetColour(item.m_targetColour);
  return clone.WaitFor(item);
}

void AnimScene::ShowRects(const AnimItem& item) {
  m_canvas.Show(item.m_rect);
  if (!item.m_oldRect.IsEmpty()) m_canvas.Show(item.m_oldRect);
}

int AnimScene::Step() {
  for (const AnimItem* item : m_items) m_canvas.Erase(item->m_rect);

  // Followers start with the next step, not later in this one.
  std::vector<AnimItem*> released;
  for (AnimItem* item : m_items) {
    if (item->m_waiting) continue;
    const Point position = item->AdvancePosition();
    item->AdvanceColour();
    const bool lastStep = item->m_steps == 0;
    --item->m_steps;
    if (lastStep) {
      released.insert(released.end(), item->m_followers.begin(), item->m_followers.end());
      item->m_followers.clear();
      continue;
    }
    item->m_drawnPos = position;
    item->Draw(m_canvas, m_defaultFont);
    item->m_moved = true;
  }
  for (AnimItem* follower : released) follower->Release();

  for (const AnimItem* item : m_items) ShowRects(*item);

  const int count = ItemCount();
  auto finished = std::stable_partition(m_items.begin(), m_items.end(), [](const AnimItem* item) { return item->m_steps >= 0; });
  m_freeItems.insert(m_freeItems.end(), finished, m_items.end());
  m_items.erase(finished, m_items.end());
  return count;
}

void AnimScene::Clear() {
  for (const AnimItem* item : m_items) m_canvas.Erase(item->m_rect);
  for (const AnimItem* item : m_items) ShowRects(*item);
  m_freeItems.insert(m_freeItems.end(), m_items.begin(), m_items.end());
  m_items.clear();
}

int AnimScene::Font(std::string_view description) {
  auto found = m_fonts.find(description);
  if (found != m_fonts.end()) return found->second;
  const int id = m_canvas.CreateFont(ParseFontDescription(description));
  m_fonts.emplace(std::string(description), id);
  return id;
}

int AnimScene::Picture(int resource, int& width) {
  auto found = m_pictures.find(resource);
  if (found == m_pictures.end()) {
    Sheet sheet;
    sheet.id = m_canvas.LoadPicture(resource, sheet.width);
    found = m_pictures.emplace(resource, sheet).first;
  }
  width = found->second.width;
  return found->second.id;
}

int AnimScene::RandomCoordinate(int low, int extent, int margin, int halfSize) {
  const int edge = std::clamp(extent / 2 - halfSize, 0, std::max(margin, 0));
  return low + edge + m_random.Below(extent - 2 * edge);
}

Point AnimScene::RandomPoint(int margin, int halfSize) {
  const int x = RandomCoordinate(m_rect.left, m_rect.Width(), margin, halfSize);
  const int y = RandomCoordinate(m_rect.top, m_rect.Height(), margin, halfSize);
  return {x, y};
}

}  // namespace vrel::saver
