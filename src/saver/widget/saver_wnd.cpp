#include "saver/widget/saver_wnd.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QScreen>
#include <QWindow>

#include "feeds/news_engine.h"
#include "markup/digest.h"
#include "saver/widget/x11_window.h"

namespace vrel::saver {
namespace {

// How often an embedding window's size is asked of the X server.
constexpr int kTicksPerProbe = 25;

bool IsModifierKey(int key) {
  return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Meta ||
         key == Qt::Key_AltGr || key == Qt::Key_CapsLock || key == Qt::Key_NumLock;
}

}  // namespace

CSaverWnd::CSaverWnd(NewsEngine& engine, uint32_t seed, EndReport onEnd)
    : canvas_(*this),
      scene_(canvas_, seed),
      screens_(scene_,
                [&engine, this](XmlDoc& digest, const std::string& previousFeedId) {
                  BuildDigest(engine, digest, previousFeedId, [this] { return scene_.Random().Next(); });
                }),
      input_(screens_),
      onEnd_(std::move(onEnd)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_DeleteOnClose);
  setAutoFillBackground(false);
  setWindowTitle(QString());
  setAccessibleName(SaverScreens::kName);
  if (!IsPreview()) {
    setMouseTracking(true);
    setCursor(Qt::BlankCursor);
  }
  connect(&timer_, &QTimer::timeout, this, &CSaverWnd::Tick);
}

CSaverWnd::~CSaverWnd() {
  timer_.stop();
  if (onEnd_) onEnd_(input_.Get() ? screens_.FeedId() : std::string());
}

void CSaverWnd::ShowFullScreen() {
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  if (QScreen* screen = QGuiApplication::primaryScreen()) setGeometry(screen->geometry());
  SetUpScene();
  show();
  raise();
  activateWindow();
}

bool CSaverWnd::EmbedIn(unsigned long x11Window) {
  parentProbe_ = std::make_unique<X11WindowProbe>(x11Window);
  const std::optional<QSize> size = parentProbe_->Size();
  QWindow* parent = size ? QWindow::fromWinId(WId(x11Window)) : nullptr;
  if (!parent) return false;
  setWindowFlags(Qt::Widget | Qt::FramelessWindowHint);
  winId();  // a native window to hand to the parent
  windowHandle()->setParent(parent);
  setGeometry(QRect(QPoint(0, 0), *size));
  SetUpScene();
  show();
  return true;
}

void CSaverWnd::SetUpScene() {
  scene_.SetUp({0, 0, width(), height()});
  update();
  if (!timer_.isActive()) timer_.start(kTickMs);
}

void CSaverWnd::Tick() {
  FollowParentWindow();
  screens_.Tick();
  canvas_.FinishStep();
  TellWhatIsShown();
}

// Screen readers hear of each new feed and of a pause; the same words are
// not said again.
void CSaverWnd::TellWhatIsShown() {
  const QString description = QString::fromStdString(DescribeScreen(screens_));
  if (description != accessibleDescription()) setAccessibleDescription(description);
}

void CSaverWnd::FollowParentWindow() {
  if (!parentProbe_ || ++ticksSinceProbe_ < kTicksPerProbe) return;
  ticksSinceProbe_ = 0;
  const std::optional<QSize> size = parentProbe_->Size();
  if (!size) {
    timer_.stop();
    emit parentWindowGone();
    CloseLater();
  } else if (*size != this->size()) {
    resize(*size);
  }
}

void CSaverWnd::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  canvas_.Paint(painter, event->region());
}

void CSaverWnd::resizeEvent(QResizeEvent*) {
  const Rect& scene = scene_.SceneRect();
  if (scene.Width() != width() || scene.Height() != height()) SetUpScene();
}

void CSaverWnd::CloseLater() { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); }

void CSaverWnd::keyPressEvent(QKeyEvent* event) {
  // Shift and the like only prepare the key that matters.
  if (IsPreview() || IsModifierKey(event->key())) return;
  if (input_.OnKey(KeyLetter(event->key(), event->nativeScanCode())) == SaverInput::Verdict::kClose) CloseLater();
}

void CSaverWnd::mouseMoveEvent(QMouseEvent* event) {
  if (IsPreview()) return;
  const QPoint global = event->globalPosition().toPoint();
  if (input_.OnMouseMove({global.x(), global.y()}) == SaverInput::Verdict::kClose) CloseLater();
}

void CSaverWnd::mousePressEvent(QMouseEvent*) {
  if (!IsPreview()) CloseLater();
}

void CSaverWnd::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::ActivationChange || IsPreview()) return;
  // Only a window that had the focus can lose it to another program.
  if (isActiveWindow()) {
    wasActive_ = true;
  } else if (wasActive_) {
    CloseLater();
  }
}

}  // namespace vrel::saver
