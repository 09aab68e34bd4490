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
    : m_canvas(*this),
      m_scene(m_canvas, seed),
      m_screens(m_scene,
                [&engine, this](XmlDoc& digest, const std::string& previousFeedId) {
                  BuildDigest(engine, digest, previousFeedId, [this] { return m_scene.Random().Next(); });
                }),
      m_input(m_screens),
      m_onEnd(std::move(onEnd)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_DeleteOnClose);
  setAutoFillBackground(false);
  setWindowTitle(QString());
  if (!IsPreview()) {
    setMouseTracking(true);
    setCursor(Qt::BlankCursor);
  }
  connect(&m_timer, &QTimer::timeout, this, &CSaverWnd::Tick);
}

CSaverWnd::~CSaverWnd() {
  m_timer.stop();
  if (m_onEnd) m_onEnd(m_input.Get() ? m_screens.FeedId() : std::string());
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
  m_parentProbe = std::make_unique<X11WindowProbe>(x11Window);
  const std::optional<QSize> size = m_parentProbe->Size();
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
  m_scene.SetUp({0, 0, width(), height()});
  update();
  if (!m_timer.isActive()) m_timer.start(kTickMs);
}

void CSaverWnd::Tick() {
  FollowParentWindow();
  m_screens.Tick();
  m_canvas.FinishStep();
}

void CSaverWnd::FollowParentWindow() {
  if (!m_parentProbe || ++m_ticksSinceProbe < kTicksPerProbe) return;
  m_ticksSinceProbe = 0;
  const std::optional<QSize> size = m_parentProbe->Size();
  if (!size) {
    m_timer.stop();
    emit parentWindowGone();
    CloseLater();
  } else if (*size != this->size()) {
    resize(*size);
  }
}

void CSaverWnd::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  m_canvas.Paint(painter, event->region());
}

void CSaverWnd::resizeEvent(QResizeEvent*) {
  const Rect& scene = m_scene.SceneRect();
  if (scene.Width() != width() || scene.Height() != height()) SetUpScene();
}

void CSaverWnd::CloseLater() { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); }

void CSaverWnd::keyPressEvent(QKeyEvent* event) {
  // Shift and the like only prepare the key that matters.
  if (IsPreview() || IsModifierKey(event->key())) return;
  const QString text = event->text();
  const char32_t key = text.isEmpty() ? 0 : text.toUcs4().value(0);
  if (m_input.OnKey(key) == SaverInput::Verdict::kClose) CloseLater();
}

void CSaverWnd::mouseMoveEvent(QMouseEvent* event) {
  if (IsPreview()) return;
  const QPoint global = event->globalPosition().toPoint();
  if (m_input.OnMouseMove({global.x(), global.y()}) == SaverInput::Verdict::kClose) CloseLater();
}

void CSaverWnd::mousePressEvent(QMouseEvent*) {
  if (!IsPreview()) CloseLater();
}

void CSaverWnd::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::ActivationChange || IsPreview()) return;
  // Only a window that had the focus can lose it to another program.
  if (isActiveWindow()) {
    m_wasActive = true;
  } else if (m_wasActive) {
    CloseLater();
  }
}

}  // namespace vrel::saver
