// Starting and stopping the services: the Qt application, German texts, the program icon.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPainter>
#include <QTranslator>

#include "ui_internal.h"

namespace {

std::unique_ptr<QApplication> ownApplication;

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

void loadGermanTexts() {
  static QTranslator* translator = nullptr;
  if (translator) return;
  translator = new QTranslator(qApp);
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  if (translator->load(QLocale(QLocale::German), "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(translator);
}

}  // namespace

void startWindowServices() {
  if (!qApp) {
    static int argc = 1;
    static char name[] = "limbrik";
    static char* argv[] = {name, nullptr};
    ownApplication = std::make_unique<QApplication>(argc, argv);
  }
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(programIcon());
  loadGermanTexts();
  installShortcutFilter();
  resetEvents();
}

void stopWindowServices() {
  resetControls();
  closeAllWindows();
  resetMenus();
  resetEvents();
}
