// The desktop program: the main window, shown at once. "--screenshot DIR" writes a picture of
// every window into DIR and ends (for the documentation).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QDir>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QFileInfo>

#include "config/Configuration.h"
#include "forms/Language.h"
#include "ui/Application.h"
#include "ui/HelpWindow.h"
#include "ui/FormBinder.h"
#include "ui/MainWindow.h"
#include "ui/QtDialogs.h"
#include "ui/RenamerWindow.h"
#include "ui/SettingsDialogs.h"
#include "ui/ShortcutsWindow.h"

namespace {

forms::Language StartLanguage() {
  const bool de = QFileInfo::exists("de"), en = QFileInfo::exists("en");
  if (de || en) return forms::LanguageFromMarkerFiles(".");
  return QLocale().name().startsWith("de") ? forms::Language::German : forms::Language::English;
}

bool Grab(QWidget* w, const QString& folder, const QString& name) {
  w->show();
  w->raise();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  return w->grab().save(folder + "/" + name + ".png");
}

int Screenshots(ui::MainWindow& main, const QString& folder, const std::string& sample) {
  QDir().mkpath(folder);
  bool ok = true;
  if (!sample.empty()) main.AddDropped({sample});
  if (main.ListView()->topLevelItemCount() > 0) main.ListView()->topLevelItem(0)->setSelected(true);
  const char* pages[] = {"main-1-images", "main-2-size", "main-3-save"};
  for (int i = 0; i < 3; ++i) {
    main.ShowPage(i);
    ok &= Grab(&main, folder, pages[i]);
  }
  ok &= Grab(main.Options(), folder, "options");
  main.Options()->hide();
  ok &= Grab(main.Filter(), folder, "filter");
  main.Filter()->hide();
  ui::QtUserDialogs& d = main.Dialogs();
  QTimer::singleShot(300, [&] {
    ok &= Grab(d.Message(), folder, "message");
    d.Message()->findChild<QPushButton*>("OK")->click();
  });
  d.meldungzeigen("formatfehler", "/home/someone/Pictures/2010/Holiday/Beach/IMG_0001.JPG", "Not a JPEG file");
  QTimer::singleShot(300, [&] {
    ok &= Grab(d.Overwrite(), folder, "overwrite");
    d.Overwrite()->findChild<QPushButton*>("OK")->click();
  });
  d.AskOverwrite("/home/someone/Pictures/small/IMG_0001.jpg");
  d.ShowProgress({"Processing", "Current Image:", ""}, 12);
  d.SetProgressFileLine("/home/someone/Pictures/2010/Holiday/Beach/IMG_0001.JPG", " (3/12)");
  d.SetProgressPosition(3);
  ok &= Grab(d.Progress(), folder, "progress");
  d.HideProgress();
  main.Help()->ShowTopic("steps");
  ok &= Grab(main.Help(), folder, "help");
  main.Help()->hide();

  ui::RenamerWindow& renamer = main.Renamer();
  if (!sample.empty()) {
    std::vector<std::string> files;
    for (const QFileInfo& f : QDir(QString::fromStdString(sample)).entryInfoList(QDir::Files, QDir::Name)) {
      files.push_back(f.absoluteFilePath().toStdString());
      if (files.size() == 5) break;
    }
    renamer.AddDropped(files);
  }
  renamer.Binder()->GetForm().SetText("maske", "%0num% %name%");
  if (renamer.ListView()->topLevelItemCount() > 1) renamer.ListView()->topLevelItem(1)->setSelected(true);
  ok &= Grab(&renamer, folder, "renamer");
  renamer.hide();
  ok &= Grab(&main.Shortcuts(), folder, "shortcuts");
  main.Shortcuts().hide();
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before any window or display is needed, as packaging checks expect.
  if (argc == 2 && (std::string(argv[1]) == "--version" || std::string(argv[1]) == "-v")) {
    std::printf("vexilo %s\n", VEXILO_VERSION);
    return 0;
  }
  ui::Application app(argc, argv);
  config::ProgramWindows windows(StartLanguage());
  ui::MainWindow window(windows);
  window.show();
  const QStringList args = QApplication::arguments();
  const int at = args.indexOf("--screenshot");
  if (at >= 0 && at + 1 < args.size()) {
    const std::string sample = at + 2 < args.size() ? args[at + 2].toStdString() : std::string();
    return Screenshots(window, args[at + 1], sample);
  }
  return app.exec();
}
