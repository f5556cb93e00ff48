// The desktop program. A start with arguments first offers them to a running instance of the
// same program file on the same display (ui/SingleInstance.h) and ends when it takes them; otherwise the windows are created, the splash
// window is shown and hands over to the main window, which then processes the arguments.
// "--screenshot DIR [SAMPLE]" writes a picture of every window into DIR and ends (for the
// documentation). For tests: "--no-splash" (or VEXILO_NO_SPLASH) shows the main window at once,
// and VEXILO_COUNT_FILE names a file that always holds the number of rows in the list.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
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
#include "forms/ControlNames.h"
#include "forms/Language.h"
#include "forms/MessageKeys.h"
#include "ui/Application.h"
#include "imaging/Codec.h"
#include "base/AtomicFile.h"
#include "ui/HelpWindow.h"
#include "ui/FormBinder.h"
#include "ui/LanguageSwitch.h"
#include "ui/SingleInstance.h"
#include "ui/SplashWindow.h"
#include "ui/MainWindow.h"
#include "ui/QtDialogs.h"
#include "ui/RenamerWindow.h"
#include "ui/SettingsDialogs.h"
#include "ui/ShortcutsWindow.h"

namespace {

// The end of the session (the session manager's SIGTERM) or of the terminal (SIGHUP) during a
// save: the temporary and trial files being written are removed, then the process ends by
// that signal, as the command line does.
void EndBySignal(int signal) {
  base::RemovePendingFiles();
  std::signal(signal, SIG_DFL);
  raise(signal);
}

void RemovePendingFilesOnSignals() {
  struct sigaction action {};
  action.sa_handler = EndBySignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

// The marker files in the working folder decide; without them the system's language does.
forms::Language StartLanguage() {
  if (const std::optional<forms::Language> marked = forms::LanguageOfMarkerFiles(".")) return *marked;
  return forms::LanguageOfLocale(QLocale().name().toStdString());
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
    d.Message()->findChild<QPushButton*>("okButton")->click();
  });
  d.Report(forms::msg::kFormatNotSupported, "/home/someone/Pictures/2010/Holiday/Beach/IMG_0001.JPG", "Not a JPEG file");
  QTimer::singleShot(300, [&] {
    ok &= Grab(d.Overwrite(), folder, "overwrite");
    d.Overwrite()->findChild<QPushButton*>("yesButton")->click();
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
  renamer.Binder()->GetForm().SetText(forms::ctl::renamer::kMask, "%0num% %name%");
  if (renamer.ListView()->topLevelItemCount() > 1) renamer.ListView()->topLevelItem(1)->setSelected(true);
  ok &= Grab(&renamer, folder, "renamer");
  renamer.hide();
  ok &= Grab(&main.Shortcuts(), folder, "shortcuts");
  main.Shortcuts().hide();
  ok &= ui::SplashWindow::Picture(forms::DefaultLanguage()).save(folder + "/splash.png");
  const forms::Language before = main.Languages().Current();
  main.ShowPage(0);
  main.ApplyTexts(forms::Language::German);
  ok &= Grab(&main, folder, "main-de");
  main.ApplyTexts(before);
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
  // The arguments as bytes (Qt has taken its own options out of argv): a file name that is not
  // valid UTF-8 must reach the list as it is on the disk, which QApplication::arguments() and
  // QFile::decodeName cannot give back.
  std::vector<std::string> args(argv + 1, argv + argc);
  const auto noSplashAt = std::remove(args.begin(), args.end(), std::string("--no-splash"));
  const bool noSplash = noSplashAt != args.end() || qEnvironmentVariableIsSet("VEXILO_NO_SPLASH");
  args.erase(noSplashAt, args.end());
  const size_t at = static_cast<size_t>(std::find(args.begin(), args.end(), std::string("--screenshot")) - args.begin());
  const bool screenshot = at + 1 < args.size();
  // The hand-over's socket, in a folder only this user may enter; without one this start runs
  // as its own instance and says why.
  const ui::HandOverAddress handOver = ui::FindHandOverAddress();
  if (!handOver.problem.isEmpty()) std::fprintf(stderr, "vexilo: %s\n", handOver.problem.toLocal8Bit().constData());
  if (!screenshot && ui::HandOverToRunningInstance(handOver.path, args)) return 0;

  RemovePendingFilesOnSignals();
  // The codecs are registered before any window and any configuration load.
  imaging::FileFormatRegistry();
  ui::InstanceReceiver receiver(handOver.path);
  const forms::Language language = StartLanguage();
  config::ProgramWindows windows(language);
  ui::MainWindow window(windows);
  if (screenshot) {
    window.show();
    const std::string sample = at + 2 < args.size() ? args[at + 2] : std::string();
    return Screenshots(window, QString::fromStdString(args[at + 1]), sample);
  }
  receiver.SetHandler([&window](std::vector<std::string> paths) { window.Receive(std::move(paths)); });
  window.SetStartArguments(std::move(args));

  ui::SplashWindow splash(language, [&window] {
    window.show();
    window.raise();
    window.activateWindow();
  });
  window.Languages().Register(ui::LanguageOrder::Splash, &splash, [&splash](forms::Language l) { splash.ApplyTexts(l); });

  QTimer counter;
  if (const QString file = qEnvironmentVariable("VEXILO_COUNT_FILE"); !file.isEmpty()) {
    QObject::connect(&counter, &QTimer::timeout, &window, [&window, file, last = -1]() mutable {
      const int rows = window.List().RowCount();
      if (rows == last) return;
      last = rows;
      base::WriteFileAtomically(file.toStdString(), std::to_string(rows) + "\n");
    });
    counter.start(100);
  }
  if (noSplash) window.show();
  else splash.Start();
  const int result = app.exec();
  receiver.SetHandler({});
  return result;
}
