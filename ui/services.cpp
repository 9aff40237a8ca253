// Starting and stopping the services: the Qt application, German texts, the program icon.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPainter>
#include <QSessionManager>
#include <QTranslator>

#include "ui_internal.h"

namespace {

// What starting the services made. It is held through a plain pointer and destroyed when
// the services stop, so no Qt object is left for the destructors that run after main.
struct Started {
  std::unique_ptr<QApplication> application;  // only when the caller had none
  std::unique_ptr<QTranslator> translator;
  std::unique_ptr<QObject> shortcutFilter;
  std::unique_ptr<QObject> inputWatch;
  std::unique_ptr<QObject> sessionWatch;  // its connection ends with it
  bool (*mayEnd)() = nullptr;
};

Started* started = nullptr;

// A small stick figure in the bones' grey with a green handle.
QIcon programIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0x30, 0x30, 0x30), 3, Qt::SolidLine, Qt::RoundCap));
  p.drawEllipse(QPointF(16, 7), 4.5, 4.5);
  p.drawLine(QPointF(16, 12), QPointF(16, 21));
  p.drawLine(QPointF(16, 14), QPointF(9, 19));
  p.drawLine(QPointF(16, 14), QPointF(23, 18));
  p.drawLine(QPointF(16, 21), QPointF(11, 30));
  p.drawLine(QPointF(16, 21), QPointF(22, 30));
  p.fillRect(QRectF(20, 15, 5, 5), QColor(0x10, 0xFF, 0x10));
  return QIcon(pixmap);
}

std::unique_ptr<QTranslator> germanTexts() {
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QLocale(QLocale::German), "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    return nullptr;
  QCoreApplication::installTranslator(translator.get());
  return translator;
}

void askBeforeSessionEnds(QSessionManager& manager) {
  if (!started || !started->mayEnd || !manager.allowsInteraction()) return;
  const bool mayEnd = started->mayEnd();
  manager.release();
  if (!mayEnd) manager.cancel();
  wakeWait();  // the loop, waiting for input, ends or goes on at once
}

}  // namespace

void onSessionEnd(bool (*mayEnd)()) {
  if (started) started->mayEnd = mayEnd;
}

void startWindowServices(int* argc, char** argv) {
  if (started) return;
  started = new Started;
  if (!qApp) {
    static int noArguments = 1;
    static char name[] = "limbrik";
    static char* nameOnly[] = {name, nullptr};
    started->application = argc ? std::make_unique<QApplication>(*argc, argv)
                                : std::make_unique<QApplication>(noArguments, nameOnly);
  }
  // The X11 window class, which desktop files name in StartupWMClass.
  QApplication::setApplicationName("limbrik");
  // The desktop entry: the Wayland app_id and the X11 startup id by which a desktop finds
  // the running editor's launcher and icon.
  QGuiApplication::setDesktopFileName("org.limbrik.animator");
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(programIcon());
  started->translator = germanTexts();
  started->sessionWatch = std::make_unique<QObject>();
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, started->sessionWatch.get(), askBeforeSessionEnds);
  // Nothing is kept between runs, so a new session has nothing to restart the editor with,
  // whatever the answer was; the manager asks for the state after every commit.
  QObject::connect(qApp, &QGuiApplication::saveStateRequest, started->sessionWatch.get(),
                   [](QSessionManager& manager) { manager.setRestartHint(QSessionManager::RestartNever); });
  started->shortcutFilter = installShortcutFilter();
  started->inputWatch = installInputWatch();
  openEventWait();
  resetEvents();
  openCloseSignals();
  openWindowAccessibility();
}

void stopWindowServices() {
  if (!started) return;
  closeWindowAccessibility();
  closeCloseSignals();
  resetControls();
  closeAllWindows();
  resetMenus();
  resetEvents();
  closeEventWait();
  if (started->translator) QCoreApplication::removeTranslator(started->translator.get());
  delete started;  // the watches, the shortcut filter, the translator, then the application
  started = nullptr;
}
