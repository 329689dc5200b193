// zepconv-gui: the converter's window. --from and --to fill the folder fields
// of the mass page, for trying it and for scripts that prepare a run.
#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

#include "Application.h"
#include "MainWindow.h"
#include "Platform.h"

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  gui::SetUpApplication(app);

  QCommandLineParser options;
  options.setApplicationDescription(
      QStringLiteral("Преобразование информационных моделей ЗЕП-5 2.10.5 в 2.10.4"));
  options.addHelpOption();
  const QCommandLineOption from(QStringList{QStringLiteral("from")},
                                QStringLiteral("Папка с файлами редакции 2.10.5 (откуда)"),
                                QStringLiteral("DIR"));
  const QCommandLineOption to(QStringList{QStringLiteral("to")},
                              QStringLiteral("Папка для файлов редакции 2.10.4 (куда)"),
                              QStringLiteral("DIR"));
  options.addOption(from);
  options.addOption(to);
  options.process(app);
  if (!options.positionalArguments().isEmpty()) {
    std::fprintf(stderr, "zepconv-gui: unexpected argument %s\n\n%s",
                 qPrintable(options.positionalArguments().front()), qPrintable(options.helpText()));
    return 2;
  }
  const std::string source = platform::AbsolutePath(options.value(from).toStdString());
  if (options.isSet(from) && !platform::DirExists(source)) {
    std::fprintf(stderr, "zepconv-gui: the folder %s does not exist\n",
                 qPrintable(options.value(from)));
    return 2;
  }

  gui::TFrmMain window;
  window.SetFolders(options.isSet(from) ? source : std::string(),
                    options.isSet(to) ? platform::AbsolutePath(options.value(to).toStdString())
                                      : std::string());
  window.show();
  return app.exec();
}
