// Numbered menu bars: titles, items addressed by id, check marks and greyed items.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <map>

#include "ui_internal.h"

namespace {

constexpr int menuBarHeight = 20;

struct Item {
  QPointer<QAction> action;
  bool checked = false;
};

struct MenuRecord {
  QPointer<QMenuBar> bar;
  int window = -1;
  QPointer<QMenu> current;
  std::map<int, Item> items;
};

std::vector<MenuRecord> menus(1);
int underConstruction = -1;

MenuRecord* menuRecord(int id) {
  if (id < 0 || static_cast<std::size_t>(id) >= menus.size() || !menus[id].bar) return nullptr;
  return &menus[id];
}

Item* item(int menuId, int itemId) {
  MenuRecord* m = menuRecord(menuId);
  if (!m) return nullptr;
  const auto found = m->items.find(itemId);
  return found == m->items.end() || !found->second.action ? nullptr : &found->second;
}

// A hint as the menu writes it ("Strg+N", "Umschalt+S") as a key sequence. Qt matches a
// widget-context shortcut of a menu's action only while the menu bar itself has the focus,
// which it never takes, so the sequence only shows.
QKeySequence shortcutOf(QString hint) {
  hint.replace("Strg+", "Ctrl+").replace("Umschalt+", "Shift+");
  return QKeySequence::fromString(hint, QKeySequence::PortableText);
}

// A check mark shows only what the program set: a click on the item does not flip it.
void showCheck(Item& entry) {
  entry.action->setCheckable(entry.checked);
  entry.action->setChecked(entry.checked);
}

}  // namespace

void createMenuBar(int menuId, int windowId) {
  WindowRecord* w = windowRecord(windowId);
  if (menuId < 0 || !w) return;
  if (static_cast<std::size_t>(menuId) >= menus.size()) menus.resize(static_cast<std::size_t>(menuId) + 1);
  auto* bar = new QMenuBar(w->widget);
  bar->setNativeMenuBar(false);
  bar->setGeometry(0, 0, w->widget->width(), menuBarHeight);
  bar->show();
  // The window keeps its size; the bar takes its height from the inner area.
  w->client->setGeometry(0, menuBarHeight, w->widget->width(), std::max(0, w->widget->height() - menuBarHeight));
  w->menuBar = menuId;
  menus[menuId] = MenuRecord{bar, windowId, nullptr, {}};
  underConstruction = menuId;
}

void resetMenus() {
  menus.assign(1, MenuRecord{});  // the bars went with their windows
  underConstruction = -1;
}

void addMenuTitle(const std::string& text) {
  MenuRecord* m = menuRecord(underConstruction);
  if (!m) return;
  // Alt and the title's first letter open it, as desktop menu bars do; the title reads the same.
  QString title = QString::fromStdString(text);
  if (!title.contains('&')) title.prepend('&');
  m->current = m->bar->addMenu(title);
}

void addMenuItem(int itemId, const std::string& text) {
  MenuRecord* m = menuRecord(underConstruction);
  if (!m || !m->current) return;
  // Text after a tab is the shortcut hint. As the action's shortcut the menu shows it
  // right-aligned and a screen reader reads it as the key binding, apart from the name; the
  // shortcut table handles the keys, so Qt's context for it never matches (see shortcutOf).
  const QStringList parts = QString::fromStdString(text).split('\t');
  QAction* action = m->current->addAction(parts.front());
  if (parts.size() > 1) {
    action->setShortcut(shortcutOf(parts.back()));
    action->setShortcutContext(Qt::WidgetShortcut);
  }
  const int menuId = underConstruction;
  QObject::connect(action, &QAction::triggered, action, [menuId, itemId] {
    if (Item* entry = item(menuId, itemId)) showCheck(*entry);
    raiseDirect(MenuEvent, itemId, -1);
  });
  m->items[itemId] = Item{action, false};
}

void addMenuSeparator() {
  MenuRecord* m = menuRecord(underConstruction);
  if (m && m->current) m->current->addSeparator();
}

int getMenuItemChecked(int menuId, int itemId) {
  const Item* entry = item(menuId, itemId);
  return entry && entry->checked ? 1 : 0;
}

void setMenuItemChecked(int menuId, int itemId, int state) {
  Item* entry = item(menuId, itemId);
  if (!entry) return;
  entry->checked = state != 0;
  showCheck(*entry);
}

void disableMenuItem(int menuId, int itemId, int state) {
  if (Item* entry = item(menuId, itemId)) entry->action->setEnabled(state == 0);
}

bool openMenuBar(int menuId) {
  MenuRecord* m = menuRecord(menuId);
  if (!m || m->bar->actions().isEmpty()) return false;
  m->bar->setActiveAction(m->bar->actions().first());
  return true;
}

bool menuItemGreyed(int menuId, int itemId) {
  const Item* entry = item(menuId, itemId);
  return entry && !entry->action->isEnabled();
}
