#include "Application.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "GuiFonts.h"
#include "WindowPresenter.h"

// The resources of the gui library (its icon): a static library's resources
// are registered by the program that links it, and only from the global namespace.
static void InitGuiResources() {
  Q_INIT_RESOURCE(gui);
}

namespace gui {

bool LoadQtRussian(QApplication &app) {
  auto *qt = new QTranslator(&app);
  if (!qt->load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete qt;
    return false;
  }
  QApplication::installTranslator(qt);
  return true;
}

void SetUpApplication(QApplication &app) {
  QApplication::setApplicationName(QStringLiteral("zepconv"));
  QGuiApplication::setDesktopFileName(QStringLiteral("zepconv"));
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  LoadQtRussian(app);
  QApplication::setFont(DialogFont());
  InitGuiResources();
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/zepconv.svg")));
  InstallWindowPresenter();
}

} // namespace gui
