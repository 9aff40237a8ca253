// Keyboard shortcuts, consulted before the focused control sees the key, and focus moves.
// Qt's own shortcut system is not used: a focused line edit would claim Ctrl+V first.
#include <QApplication>
#include <QKeyEvent>
#include <algorithm>

#include "ui_internal.h"

namespace {

constexpr std::uint16_t menuKey = 0x79;  // F10

// The key code that shortcut tables use: upper-case ASCII for letters; Tab and F10 for the
// focus moves and the menu. No table binds any other key.
std::uint16_t keyCodeOf(int qtKey) {
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return static_cast<std::uint16_t>(qtKey);
  if (qtKey == Qt::Key_Tab || qtKey == Qt::Key_Backtab) return 0x09;
  return qtKey == Qt::Key_F10 ? menuKey : 0;
}

std::uint8_t modifiersOf(const QKeyEvent& event) {
  std::uint8_t flags = 0x03;
  if (event.modifiers() & Qt::ShiftModifier) flags |= 0x04;
  if (event.modifiers() & Qt::ControlModifier) flags |= 0x08;
  if (event.modifiers() & Qt::AltModifier) flags |= 0x10;
  return flags;
}

void moveFocus(int window, bool forward) {
  const std::vector<QWidget*> stops = tabStops(window);
  if (stops.empty()) return;
  const auto focused = std::find(stops.begin(), stops.end(), QApplication::focusWidget());
  std::size_t next;
  if (focused == stops.end()) {
    next = forward ? 0 : stops.size() - 1;
  } else {
    const auto at = static_cast<std::size_t>(focused - stops.begin());
    next = forward ? (at + 1) % stops.size() : (at + stops.size() - 1) % stops.size();
  }
  stops[next]->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

class ShortcutFilter : public QObject {
 protected:
  bool eventFilter(QObject* target, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* widget = qobject_cast<QWidget*>(target);
    const int window = windowOf(widget);
    WindowRecord* w = windowRecord(window);
    if (!w) return false;
    const auto& key = static_cast<const QKeyEvent&>(*event);
    const std::uint16_t code = keyCodeOf(key.key());
    const std::uint8_t modifiers = modifiersOf(key);
    const auto entry = std::find_if(w->shortcuts.begin(), w->shortcuts.end(), [&](const ShortcutEntry& e) {
      return e.key == code && e.modifiers == modifiers;
    });
    if (code == 0) return false;
    if (entry == w->shortcuts.end()) return code == menuKey && modifiers == 0x03 && openMenuBar(w->menuBar);
    if (entry->command == focusNext || entry->command == focusPrevious) {
      moveFocus(window, entry->command == focusNext);
    } else if (!menuItemGreyed(w->menuBar, entry->command)) {
      raiseDirect(MenuEvent, entry->command, -1);
    } else if (entry->passedOnWhenGreyed) {
      return false;
    }
    return true;  // the key goes no further, also for a greyed item
  }
};

}  // namespace

std::unique_ptr<QObject> installShortcutFilter() {
  auto filter = std::make_unique<ShortcutFilter>();
  qApp->installEventFilter(filter.get());  // a deleted filter leaves the application's list by itself
  return filter;
}

void addShortcut(int windowId, std::uint32_t shortcut, int itemId) {
  WindowRecord* w = windowRecord(windowId);
  if (!w) return;
  std::uint8_t modifiers = 0x03;
  if (shortcut & 0x10000) modifiers |= 0x04;
  if (shortcut & 0x20000) modifiers |= 0x08;
  w->shortcuts.push_back({modifiers, static_cast<std::uint16_t>(shortcut & 0xFFFF), static_cast<std::uint16_t>(itemId),
                          (shortcut & passedOnWhenGreyed) != 0});
}
