#include "markup/widget/markup_view_accessible.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QScrollBar>
#include <QWindow>
#include <vector>

#include "markup/widget/markup_view.h"

namespace vrel::markup {
namespace {

// One link of a view. It holds only its number: name and place are read
// from the view's current layout, so a new text leaves it valid as long as
// the view has that many links.
class MarkupLinkAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  MarkupLinkAccessible(MarkupView* view, int link) : view_(view), link_(link), name_(view->LinkName(link)) {}

  bool isValid() const override { return view_ && link_ < view_->LinkCount(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return view_ ? view_->window()->windowHandle() : nullptr; }
  QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(view_); }
  QAccessibleInterface* child(int) const override { return nullptr; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }

  QString text(QAccessible::Text t) const override {
    return t == QAccessible::Name && isValid() ? view_->LinkName(link_) : QString();
  }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override {
    if (!isValid()) return {};
    const QRect place = view_->LinkRect(link_);
    return QRect(view_->viewport()->mapToGlobal(place.topLeft()), place.size());
  }
  QAccessible::Role role() const override { return QAccessible::Link; }
  QAccessible::State state() const override {
    QAccessible::State state;
    if (!isValid()) {
      state.invalid = true;
      return state;
    }
    state.focusable = true;
    state.linked = true;
    state.focused = view_->hasFocus() && view_->FocusedLink() == link_;
    state.offscreen = !view_->viewport()->rect().intersects(view_->LinkRect(link_));
    return state;
  }

  void* interface_cast(QAccessible::InterfaceType type) override {
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
  }
  QStringList actionNames() const override { return {pressAction(), showMenuAction(), setFocusAction()}; }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }
  void doAction(const QString& action) override {
    if (!isValid()) return;
    if (action == pressAction()) {
      view_->ActivateLink(link_);
    } else if (action == showMenuAction()) {
      view_->OpenLinkMenu(link_);
    } else if (action == setFocusAction()) {
      view_->setFocus(Qt::OtherFocusReason);
      view_->FocusLink(link_);
    }
  }

  // True when the link's text is not what it was when last asked.
  bool NameChanged() {
    const QString name = view_->LinkName(link_);
    if (name == name_) return false;
    name_ = name;
    return true;
  }

 private:
  QPointer<MarkupView> view_;
  const int link_;
  QString name_;
};

// The view: a read-only document whose text is the text as shown and whose
// children are its links.
class MarkupViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit MarkupViewAccessible(MarkupView* view) : QAccessibleWidget(view, QAccessible::Document) {}
  ~MarkupViewAccessible() override {
    for (QAccessible::Id id : links_) QAccessible::deleteAccessibleInterface(id);
  }

  MarkupView* View() const { return static_cast<MarkupView*>(widget()); }

  int childCount() const override { return View()->LinkCount(); }
  QAccessibleInterface* child(int index) const override {
    if (index < 0 || index >= childCount()) return nullptr;
    while (static_cast<int>(links_.size()) <= index) AddLink();
    return QAccessible::accessibleInterface(links_[index]);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    for (std::size_t i = 0; i < links_.size(); ++i)
      if (QAccessible::accessibleInterface(links_[i]) == child) return static_cast<int>(i);
    return -1;
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    return child(View()->LinkAt(View()->viewport()->mapFromGlobal(QPoint(x, y))));
  }
  QAccessibleInterface* focusChild() const override {
    return View()->hasFocus() ? child(View()->FocusedLink()) : nullptr;
  }
  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    state.multiLine = true;
    return state;
  }
  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }

  // Announces the links beyond the new count as gone, those that came as
  // new, and those whose text changed.
  void SyncLinks() {
    const int count = childCount();
    while (static_cast<int>(links_.size()) > count) {
      QAccessibleEvent gone(QAccessible::accessibleInterface(links_.back()), QAccessible::ObjectDestroyed);
      QAccessible::updateAccessibility(&gone);
      QAccessible::deleteAccessibleInterface(links_.back());
      links_.pop_back();
    }
    for (QAccessible::Id id : links_) {
      auto* link = static_cast<MarkupLinkAccessible*>(QAccessible::accessibleInterface(id));
      if (!link->NameChanged()) continue;
      QAccessibleEvent renamed(link, QAccessible::NameChanged);
      QAccessible::updateAccessibility(&renamed);
    }
    while (static_cast<int>(links_.size()) < count) {
      QAccessibleEvent came(AddLink(), QAccessible::ObjectCreated);
      QAccessible::updateAccessibility(&came);
    }
  }

  // The text interface: the text as shown, without caret or selection.
  void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
  int selectionCount() const override { return 0; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  int cursorPosition() const override { return 0; }
  void setCursorPosition(int) override {}
  QString text(int startOffset, int endOffset) const override {
    return View()->PlainText().mid(startOffset, endOffset - startOffset);
  }
  int characterCount() const override { return static_cast<int>(View()->PlainText().size()); }
  QRect characterRect(int) const override { return {}; }
  int offsetAtPoint(const QPoint&) const override { return -1; }
  void scrollToSubstring(int, int) override {}
  QString attributes(int offset, int* startOffset, int* endOffset) const override {
    *startOffset = *endOffset = offset;
    return {};
  }
  using QAccessibleWidget::text;

 private:
  QAccessibleInterface* AddLink() const {
    auto* link = new MarkupLinkAccessible(View(), static_cast<int>(links_.size()));
    links_.push_back(QAccessible::registerAccessibleInterface(link));
    return link;
  }

  mutable std::vector<QAccessible::Id> links_;
};

QAccessibleInterface* CreateAccessible(const QString& className, QObject* object) {
  if (className != QLatin1String(MarkupView::staticMetaObject.className())) return nullptr;
  return new MarkupViewAccessible(static_cast<MarkupView*>(object));
}

MarkupViewAccessible* AccessibleOf(MarkupView& view) {
  if (!QAccessible::isActive()) return nullptr;
  return dynamic_cast<MarkupViewAccessible*>(QAccessible::queryAccessibleInterface(&view));
}

}  // namespace

void InstallMarkupViewAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(&CreateAccessible);
    return true;
  }();
  (void)installed;
}

void ReportLinksChanged(MarkupView& view) {
  if (MarkupViewAccessible* accessible = AccessibleOf(view)) accessible->SyncLinks();
}

void ReportLinkFocused(MarkupView& view, int link) {
  MarkupViewAccessible* accessible = AccessibleOf(view);
  QAccessibleInterface* focused = accessible ? accessible->child(link) : nullptr;
  if (!focused) return;
  QAccessibleEvent event(focused, QAccessible::Focus);
  QAccessible::updateAccessibility(&event);
}

}  // namespace vrel::markup
