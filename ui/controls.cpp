// Numbered controls: container, toggle button, label, edit, trackbar and canvas.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <algorithm>
#include <utility>

#include "ui_internal.h"

namespace {

enum class Kind { Button, Edit, Text, Container, Trackbar, Canvas };

struct ControlRecord {
  QPointer<QWidget> widget;
  Kind kind = Kind::Text;
  int window = -1;
  std::uint64_t order = 0;  // creation order, for focus moves
};

std::vector<ControlRecord> controls(8);
std::uint64_t created = 0;

struct ParentLevel {
  QPointer<QWidget> widget;
  int window = -1;
};
ParentLevel currentParent;
ParentLevel enclosing;  // the parent outside the open container

ControlRecord* record(int id) {
  if (id < 0 || static_cast<std::size_t>(id) >= controls.size() || !controls[id].widget) return nullptr;
  return &controls[id];
}

// The parent for a new control under id; nullptr without one.
QWidget* prepare(int id) {
  if (id < 0 || !currentParent.widget) return nullptr;
  if (static_cast<std::size_t>(id) >= controls.size()) controls.resize(static_cast<std::size_t>(id) + 1);
  return currentParent.widget;
}

void install(int id, QWidget* widget, Kind kind, int x, int y, int width, int height) {
  widget->setGeometry(x, y, width, height);
  widget->show();
  controls[id] = ControlRecord{widget, kind, currentParent.window, ++created};
}

// The label made just before an edit box in the same parent names it, for screen readers too.
QLabel* labelJustBefore(const QWidget* parent) {
  const auto newest = std::max_element(controls.begin(), controls.end(),
                                       [](const ControlRecord& a, const ControlRecord& b) { return a.order < b.order; });
  if (!newest->widget || newest->kind != Kind::Text || newest->widget->parentWidget() != parent) return nullptr;
  return static_cast<QLabel*>(newest->widget.data());
}

QSlider* slider(const ControlRecord& c) { return static_cast<QSlider*>(c.widget.data()); }

}  // namespace

void setControlParent(QWidget* parent, int window) {
  currentParent = ParentLevel{parent, window};
  enclosing = ParentLevel{};
}

void resetControls() {
  for (ControlRecord& c : controls) delete c.widget.data();  // a container takes its controls along
  controls.assign(8, ControlRecord{});
  setControlParent(nullptr, -1);
}

QWidget* controlWidget(int id) {
  const ControlRecord* c = record(id);
  return c ? c->widget.data() : nullptr;
}

std::vector<QWidget*> tabStops(int window) {
  std::vector<const ControlRecord*> stops;
  for (const ControlRecord& c : controls) {
    if (c.widget && c.window == window && (c.widget->focusPolicy() & Qt::TabFocus)) stops.push_back(&c);
  }
  std::sort(stops.begin(), stops.end(), [](const ControlRecord* a, const ControlRecord* b) { return a->order < b->order; });
  std::vector<QWidget*> widgets;
  for (const ControlRecord* c : stops) widgets.push_back(c->widget);
  return widgets;
}

void canvasControl(int id, int x, int y, int width, int height) {
  QWidget* parent = prepare(id);
  if (!parent) return;
  install(id, makeCanvas(id, width, height, parent), Kind::Canvas, x, y, width, height);
}

void containerControl(int id, int x, int y, int width, int height) {
  QWidget* parent = prepare(id);
  if (!parent) return;
  auto* container = new QWidget(parent);
  container->setAutoFillBackground(true);
  container->setBackgroundRole(QPalette::Button);
  install(id, container, Kind::Container, x, y, width, height);
  enclosing = currentParent;
  currentParent = ParentLevel{container, currentParent.window};
}

void closeControlList() {
  if (enclosing.widget) currentParent = std::exchange(enclosing, ParentLevel{});
}

void buttonControl(int id, int x, int y, int width, int height, const std::string& text) {
  QWidget* parent = prepare(id);
  if (!parent) return;
  auto* button = new QPushButton(QString::fromStdString(text), parent);
  button->setCheckable(true);
  // clicked follows the flip, so the state read on the event is the new one.
  // On toggled, not clicked: a screen reader's toggle action flips it without a click.
  QObject::connect(button, &QPushButton::toggled, button, [id] { raiseDirect(ControlEvent, id, 0); });
  install(id, button, Kind::Button, x, y, width, height);
}

void textControl(int id, int x, int y, int width, int height, const std::string& text) {
  QWidget* parent = prepare(id);
  if (!parent) return;
  auto* label = new QLabel(QString::fromStdString(text), parent);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  install(id, label, Kind::Text, x, y, width, height);
}

void editControl(int id, int x, int y, int width, int height, const std::string& text) {
  QWidget* parent = prepare(id);
  if (!parent) return;
  auto* edit = new QLineEdit(QString::fromStdString(text), parent);
  if (QLabel* label = labelJustBefore(parent)) label->setBuddy(edit);
  // A new frame rate counts from the next pass, not after a wait the old one chose.
  QObject::connect(edit, &QLineEdit::textChanged, edit, [] { wakeWait(); });
  install(id, edit, Kind::Edit, x, y, width, height);
}

void trackbarControl(int id, int x, int y, int width, int height, int maximum) {
  QWidget* parent = prepare(id);
  if (!parent) return;
  auto* bar = new QSlider(Qt::Horizontal, parent);
  bar->setFocusPolicy(Qt::StrongFocus);
  bar->setMaximum(std::max(maximum, 0));
  // Every scroll step and its end is an event; the position is read when it is fetched.
  QObject::connect(bar, &QSlider::actionTriggered, bar, [id] { queueEvent(ControlEvent, id, 0); });
  QObject::connect(bar, &QSlider::sliderReleased, bar, [id] { queueEvent(ControlEvent, id, 0); });
  install(id, bar, Kind::Trackbar, x, y, width, height);
}

void setControlName(int id, const std::string& name) {
  if (const ControlRecord* c = record(id)) c->widget->setAccessibleName(QString::fromStdString(name));
}

// The program's changes raise no event.
void setControlState(int id, int value) {
  const ControlRecord* c = record(id);
  if (!c) return;
  const QSignalBlocker quiet(c->widget);
  if (c->kind == Kind::Button) static_cast<QPushButton*>(c->widget.data())->setChecked(value != 0);
  if (c->kind == Kind::Trackbar) slider(*c)->setValue(value);
}

int getControlState(int id) {
  const ControlRecord* c = record(id);
  if (!c) return 0;
  if (c->kind == Kind::Button) return static_cast<QPushButton*>(c->widget.data())->isChecked() ? 1 : 0;
  if (c->kind == Kind::Trackbar) return slider(*c)->value();
  return 0;
}

void setTrackbarMaximum(int id, int maximum) {
  const ControlRecord* c = record(id);
  if (!c || c->kind != Kind::Trackbar) return;
  const QSignalBlocker quiet(c->widget);
  slider(*c)->setMaximum(std::max(maximum, 0));
}

std::string getControlText(int id) {
  const ControlRecord* c = record(id);
  return c && c->kind == Kind::Edit ? static_cast<QLineEdit*>(c->widget.data())->text().toStdString() : std::string();
}

std::uint32_t canvasRevision(int id) { return canvasRevisionOf(controlWidget(id)); }

DrawSurface* canvasOutput(int id) { return openCanvasOutput(controlWidget(id)); }
