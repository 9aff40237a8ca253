// Numbered controls: container, toggle button, label, edit, trackbar and canvas.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <algorithm>

#include "ui_internal.h"

namespace {

enum class Kind { Button, Edit, Text, Container, Trackbar, Canvas };

struct ControlRecord {
  QPointer<QWidget> widget;
  Kind kind = Kind::Text;
  int window = -1;
  std::uint64_t order = 0;  // creation order, for focus moves
  int minimum = 0, maximum = 0;  // trackbar bounds as set; the slider shows a valid range
};

std::vector<ControlRecord> controls(50);
std::uint64_t created = 0;

struct ParentLevel {
  QPointer<QWidget> widget;
  int window = -1;
};
ParentLevel currentParent;
std::vector<ParentLevel> enclosing;

ControlRecord* record(int id) {
  if (id < 0 || static_cast<std::size_t>(id) >= controls.size() || !controls[id].widget) return nullptr;
  return &controls[id];
}

void destroyControl(int id) {
  ControlRecord* c = record(id);
  if (!c) return;
  delete c->widget.data();
  controls[id] = ControlRecord{};
  dropPendingOfControl(id);
}

// Makes room for a control under id in the current parent; nullptr without a parent.
QWidget* prepare(int id) {
  if (id < 0 || !currentParent.widget) return nullptr;
  if (static_cast<std::size_t>(id) >= controls.size()) controls.resize(static_cast<std::size_t>(id) + 50);
  destroyControl(id);
  return currentParent.widget;
}

WindowHandle install(int id, QWidget* widget, Kind kind, int x, int y, int width, int height) {
  widget->setGeometry(x, y, width, height);
  widget->show();
  controls[id] = ControlRecord{widget, kind, currentParent.window, ++created, 0, 0};
  return reinterpret_cast<WindowHandle>(widget);
}

class EditBox : public QLineEdit {
 public:
  EditBox(int id, int window, const QString& text, QWidget* parent) : QLineEdit(text, parent), id_(id), window_(window) {
    connect(this, &QLineEdit::textEdited, this, [this] { raiseDirect(ControlEvent, id_, window_, EditTextChanged); });
  }

 protected:
  void focusInEvent(QFocusEvent* event) override {
    QLineEdit::focusInEvent(event);
    queueEvent(ControlEvent, id_, window_, FocusGained);
  }
  void focusOutEvent(QFocusEvent* event) override {
    QLineEdit::focusOutEvent(event);
    queueEvent(ControlEvent, id_, window_, FocusLost);
  }

 private:
  int id_, window_;
};

void applyTrackbarRange(ControlRecord& c, int position) {
  auto* slider = static_cast<QSlider*>(c.widget.data());
  const QSignalBlocker quiet(slider);
  slider->setRange(c.minimum, std::max(c.minimum, c.maximum));
  slider->setValue(position);
}

}  // namespace

void setControlParent(QWidget* parent, int window) {
  currentParent = ParentLevel{parent, window};
  enclosing.clear();
}

void destroyControlsOf(int window) {
  for (std::size_t id = 0; id < controls.size(); ++id)
    if (controls[id].widget && controls[id].window == window) destroyControl(static_cast<int>(id));
  if (currentParent.window == window) setControlParent(nullptr, -1);
}

void resetControls() {
  for (std::size_t id = 0; id < controls.size(); ++id) destroyControl(static_cast<int>(id));
  controls.assign(50, ControlRecord{});
  setControlParent(nullptr, -1);
}

QWidget* controlWidget(int id) {
  const ControlRecord* c = record(id);
  return c ? c->widget.data() : nullptr;
}

std::vector<QWidget*> tabStops(int window) {
  std::vector<const ControlRecord*> stops;
  for (const ControlRecord& c : controls) {
    if (!c.widget || c.window != window || !c.widget->isEnabled() || !c.widget->isVisible()) continue;
    if (c.widget->focusPolicy() & Qt::TabFocus) stops.push_back(&c);
  }
  std::sort(stops.begin(), stops.end(), [](const ControlRecord* a, const ControlRecord* b) { return a->order < b->order; });
  std::vector<QWidget*> widgets;
  for (const ControlRecord* c : stops) widgets.push_back(c->widget);
  return widgets;
}

WindowHandle canvasControl(int id, int x, int y, int width, int height, int options) {
  QWidget* parent = prepare(id);
  if (!parent) return 0;
  return install(id, makeCanvas(id, currentParent.window, width, height, options, parent), Kind::Canvas, x, y, width,
                 height);
}

WindowHandle containerControl(int id, int x, int y, int width, int height) {
  QWidget* parent = prepare(id);
  if (!parent) return 0;
  auto* container = new QWidget(parent);
  container->setAutoFillBackground(true);
  container->setBackgroundRole(QPalette::Button);
  const WindowHandle handle = install(id, container, Kind::Container, x, y, width, height);
  enclosing.push_back(currentParent);
  currentParent = ParentLevel{container, currentParent.window};
  return handle;
}

void closeControlList() {
  if (enclosing.empty()) return;
  currentParent = enclosing.back();
  enclosing.pop_back();
}

WindowHandle buttonControl(int id, int x, int y, int width, int height, const std::string& text, std::uint32_t flags) {
  QWidget* parent = prepare(id);
  if (!parent) return 0;
  auto* button = new QPushButton(QString::fromStdString(text), parent);
  button->setCheckable((flags & 0xF) == 0x3);  // an automatic check box: toggles at each click
  const int window = currentParent.window;
  // clicked follows the flip, so the state read on the event is the new one.
  QObject::connect(button, &QPushButton::clicked, button, [id, window] { raiseDirect(ControlEvent, id, window, 0); });
  return install(id, button, Kind::Button, x, y, width, height);
}

WindowHandle textControl(int id, int x, int y, int width, int height, const std::string& text) {
  QWidget* parent = prepare(id);
  if (!parent) return 0;
  auto* label = new QLabel(QString::fromStdString(text), parent);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return install(id, label, Kind::Text, x, y, width, height);
}

// The label made just before an edit box in the same parent names it, for screen readers too.
QLabel* labelJustBefore(const QWidget* parent) {
  const auto newest = std::max_element(controls.begin(), controls.end(),
                                       [](const ControlRecord& a, const ControlRecord& b) { return a.order < b.order; });
  if (!newest->widget || newest->kind != Kind::Text || newest->widget->parentWidget() != parent) return nullptr;
  return static_cast<QLabel*>(newest->widget.data());
}

WindowHandle editControl(int id, int x, int y, int width, int height, const std::string& text) {
  QWidget* parent = prepare(id);
  if (!parent) return 0;
  auto* edit = new EditBox(id, currentParent.window, QString::fromStdString(text), parent);
  if (QLabel* label = labelJustBefore(parent)) label->setBuddy(edit);
  return install(id, edit, Kind::Edit, x, y, width, height);
}

void setControlName(int id, const std::string& name) {
  if (const ControlRecord* c = record(id)) c->widget->setAccessibleName(QString::fromStdString(name));
}

WindowHandle trackbarControl(int id, int x, int y, int width, int height, int minimum, int maximum) {
  QWidget* parent = prepare(id);
  if (!parent) return 0;
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setFocusPolicy(Qt::StrongFocus);
  const int window = currentParent.window;
  // Every scroll step and its end is an event; the position is read when it is fetched.
  QObject::connect(slider, &QSlider::actionTriggered, slider, [id, window] { queueEvent(ControlEvent, id, window, 0); });
  QObject::connect(slider, &QSlider::sliderReleased, slider, [id, window] { queueEvent(ControlEvent, id, window, 0); });
  const WindowHandle handle = install(id, slider, Kind::Trackbar, x, y, width, height);
  controls[id].minimum = std::max(minimum, 0);
  controls[id].maximum = std::max(maximum, 0);
  applyTrackbarRange(controls[id], 0);
  return handle;
}

void setControlState(int id, int value) {
  ControlRecord* c = record(id);
  if (!c) return;
  if (c->kind == Kind::Button) {
    const QSignalBlocker quiet(c->widget);
    static_cast<QPushButton*>(c->widget.data())->setChecked(value != 0);
  } else if (c->kind == Kind::Trackbar) {
    applyTrackbarRange(*c, value);
  }
}

int getControlState(int id) {
  const ControlRecord* c = record(id);
  if (!c) return 0;
  if (c->kind == Kind::Button) return static_cast<QPushButton*>(c->widget.data())->isChecked() ? 1 : 0;
  if (c->kind == Kind::Trackbar) return static_cast<QSlider*>(c->widget.data())->value();
  return 0;
}

void setControlAttribute(int id, int attribute, int value) {
  ControlRecord* c = record(id);
  if (!c || c->kind != Kind::Trackbar || (attribute != 1 && attribute != 2)) return;
  const int position = static_cast<QSlider*>(c->widget.data())->value();
  (attribute == 1 ? c->minimum : c->maximum) = value;
  applyTrackbarRange(*c, position);
}

std::string getControlText(int id) {
  const ControlRecord* c = record(id);
  if (!c) return {};
  switch (c->kind) {
    case Kind::Edit: return static_cast<QLineEdit*>(c->widget.data())->text().toStdString();
    case Kind::Button: return static_cast<QPushButton*>(c->widget.data())->text().toStdString();
    case Kind::Text: return static_cast<QLabel*>(c->widget.data())->text().toStdString();
    default: return c->widget->windowTitle().toStdString();
  }
}

std::uint32_t canvasRevision(int id) {
  const ControlRecord* c = record(id);
  return c && c->kind == Kind::Canvas ? canvasRevisionOf(c->widget) : 0;
}

DrawSurface* canvasOutput(int id) {
  const ControlRecord* c = record(id);
  return c && c->kind == Kind::Canvas ? openCanvasOutput(c->widget) : nullptr;
}
