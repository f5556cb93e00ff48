// The desktop program's windows, driven through their widgets on the offscreen platform.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>

#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QProcess>
#include <QRegularExpression>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMimeData>
#include <QProgressBar>
#include <QMenu>
#include <QPushButton>
#include <QLocale>
#include <QHelpEvent>
#include <QToolTip>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include "forms/MessageKeys.h"
#include "config/Configuration.h"
#include "engine/ImageFiles.h"
#include "engine/Messages.h"
#include "imaging/Codec.h"
#include "imagelist/List.h"
#include "ui/Application.h"
#include "ui/FormBinder.h"
#include "ui/HelpWindow.h"
#include "ui/MainWindow.h"
#include "ui/Mnemonics.h"
#include "renamer/RenameJournal.h"
#include "ui/QtDialogs.h"
#include "ui/RenamerWindow.h"
#include "ui/RunController.h"
#include "ui/ImageListModel.h"
#include "ui/RunSummary.h"
#include "ui/SettingsDialogs.h"
#include "ui/ShortcutsWindow.h"
#include "ui/SplashWindow.h"
#include "ui/WindowTexts.h"
#include "tests/support/PseudoLanguage.h"

namespace msg = forms::msg;

namespace {

void WriteText(const QString& path) {
  std::ofstream(path.toStdString()) << "x";
}

// Written at `path`, or at `bytes` when a name is not valid UTF-8 (which no QString holds).
void WriteBitmap(const QString& path, const std::string& bytes = {}) {
  imaging::Image image;
  imaging::CreateImage(4, 2, imaging::PixelFormat::A8R8G8B8, image);
  engine::SaveImageFile(bytes.empty() ? path.toStdString() : bytes, image);
}

struct FakeDesktop : imagelist::DesktopServices {
  QStringList calls;
  bool CallFileManager(const std::string& method, const std::vector<std::string>& uris) override {
    calls << QString::fromStdString(method + " " + uris.front());
    return true;
  }
  void OpenUri(const std::string& uri) override { calls << QString::fromStdString("open " + uri); }
  void SetClipboard(const std::vector<std::pair<std::string, std::string>>& f) override {
    calls << QString::fromStdString("clipboard " + f.front().first);
  }
};

// Clicks the named button of the next modal dialog as soon as it is shown.
void AnswerModal(const char* button) {
  QTimer::singleShot(50, [button] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return AnswerModal(button);
    QTest::mouseClick(modal->findChild<QPushButton*>(button), Qt::LeftButton);
  });
}

using forms::Language;

// The texts the tables hold for one language that differ from the other language's text for
// the same place: none of them may be on screen after a switch to the other language.
QSet<QString> TextsOnlyIn(Language l, Language other) {
  QSet<QString> only;
  const auto add = [&](const std::string& mine, const std::string& theirs) {
    // As read: a text's access key may sit elsewhere on screen than in the table.
    if (mine != theirs && !mine.empty()) only << ui::WithoutMnemonic(QString::fromStdString(mine));
  };
  for (const forms::TextGroup group : forms::kTextGroups)
    for (const forms::TextEntry& e : forms::TableOf(l, group)) add(e.text, forms::Text(other, group, e.key));
  const config::ProgramWindows mine(l), theirs(other);
  for (const auto form : {&config::ProgramWindows::mainForm, &config::ProgramWindows::folderFilter, &config::ProgramWindows::options,
                          &config::ProgramWindows::renamer, &config::ProgramWindows::renamerFilter,
                          &config::ProgramWindows::shortcuts}) {
    add((mine.*form).Caption(), (theirs.*form).Caption());
    const auto& a = (mine.*form).Controls();
    const auto& b = (theirs.*form).Controls();
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
      add(a[i].caption, b[i].caption);
      add(a[i].text, b[i].text);
      for (size_t k = 0; k < a[i].items.size() && k < b[i].items.size(); ++k) add(a[i].items[k], b[i].items[k]);
    }
  }
  return only;
}

// Every text a window shows: window and group captions, labels, buttons, tabs, menus and
// their items, list headings, combo box texts and items (markup and access keys removed).
QStringList ShownTexts(QWidget* top) {
  QStringList texts{top->windowTitle()};
  QList<QWidget*> widgets = top->findChildren<QWidget*>();
  widgets << top;
  static const QRegularExpression tags("<[^>]*>");
  for (QWidget* w : widgets) {
    if (auto* l = qobject_cast<QLabel*>(w)) texts << ui::WithoutMnemonic(QString(l->text()).remove(tags));
    if (auto* b = qobject_cast<QAbstractButton*>(w)) texts << ui::WithoutMnemonic(b->text());
    if (auto* g = qobject_cast<QGroupBox*>(w)) texts << ui::WithoutMnemonic(g->title());
    if (auto* m = qobject_cast<QMenu*>(w)) texts << ui::WithoutMnemonic(m->title());
    if (auto* t = qobject_cast<QTabWidget*>(w))
      for (int i = 0; i < t->count(); ++i) texts << t->tabText(i);
    if (auto* c = qobject_cast<QComboBox*>(w)) {
      texts << c->currentText();
      for (int i = 0; i < c->count(); ++i) texts << c->itemText(i);
    }
    if (auto* v = qobject_cast<QTreeView*>(w))
      for (int i = 0; i < v->model()->columnCount(); ++i) texts << v->model()->headerData(i, Qt::Horizontal).toString();
  }
  for (QAction* a : top->findChildren<QAction*>()) texts << ui::WithoutMnemonic(a->text());
  return texts;
}

// The access keys a window offers at one time: its menu bar's titles and the shown buttons,
// labels that name a widget and group titles. Faults: a key that two of them share, and a
// button (for which `needsKey` holds) without one; each menu's items likewise. Check boxes may
// go without: the folder filter has more of them than there are letters.
QStringList AccessKeyFaults(QWidget* window, const std::function<bool(QAbstractButton*)>& needsKey = {}) {
  QStringList faults;
  const QString where = window->objectName() + ": ";
  const auto check = [&](const QList<std::pair<QString, bool>>& texts) {
    QMap<QChar, QString> taken;
    for (const auto& [text, required] : texts) {
      const QChar key = ui::MnemonicOf(text);
      if (key.isNull()) {
        if (required) faults << where + "no key in \"" + text + "\"";
        continue;
      }
      if (taken.contains(key)) faults << where + "\"" + text + "\" and \"" + taken[key] + "\" share " + key;
      taken[key] = text;
    }
  };
  QList<std::pair<QString, bool>> shown;
  if (auto* main = qobject_cast<QMainWindow*>(window); main && main->menuWidget())
    for (QAction* a : main->menuWidget()->actions())
      if (a->isVisible()) shown.append({a->text(), true});
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (w->window() != window || !w->isVisibleTo(window)) continue;
    if (auto* b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty() && !qobject_cast<QTabBar*>(b->parentWidget()))
      shown.append({b->text(), !qobject_cast<QCheckBox*>(b) && (!needsKey || needsKey(b))});
    else if (auto* l = qobject_cast<QLabel*>(w); l && l->buddy() != nullptr)
      shown.append({l->text(), false});
    else if (auto* g = qobject_cast<QGroupBox*>(w))
      shown.append({g->title(), false});
  }
  check(shown);
  for (QMenu* menu : window->findChildren<QMenu*>()) {
    QList<std::pair<QString, bool>> items;
    for (QAction* a : menu->actions())
      if (!a->isSeparator() && a->isVisible()) items.append({a->text(), true});
    check(items);
  }
  return faults;
}

// Selects a row of an item view as a click would.
void SelectRow(QAbstractItemView* view, int row) {
  view->selectionModel()->select(view->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

}  // namespace

class WindowsTest : public QObject {
  Q_OBJECT

private slots:
  void init() {
    qputenv("VEXILO_HOME", (home_.path() + "/settings").toUtf8());
    windows_ = std::make_unique<config::ProgramWindows>(forms::Language::English);
    window_ = std::make_unique<ui::MainWindow>(*windows_, &desktop_);
    window_->show();
  }
  void cleanup() {
    window_.reset();
    windows_.reset();
  }

  void pageFlowAndCaptions() {
    QPushButton* forward = window_->ForwardButton();
    QCOMPARE(ui::WithoutMnemonic(forward->text()), QString("Forward >>"));
    QTest::mouseClick(forward, Qt::LeftButton);
    QCOMPARE(window_->Pages()->currentIndex(), 1);
    QCOMPARE(ui::WithoutMnemonic(forward->text()), QString("Forward >>"));
    QTest::mouseClick(forward, Qt::LeftButton);
    QCOMPARE(window_->Pages()->currentIndex(), 2);
    QCOMPARE(ui::WithoutMnemonic(forward->text()), QString("Save Images"));
    QTest::mouseClick(forward, Qt::LeftButton);  // empty list: nothing happens
    QVERIFY(!window_->Run().Running());
    window_->Pages()->setCurrentIndex(0);  // a tab click
    QCOMPARE(ui::WithoutMnemonic(forward->text()), QString("Forward >>"));
  }

  void dropOfTwoFoldersAndAFile() {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("a");
    QDir(dir.path()).mkpath("b");
    WriteBitmap(dir.path() + "/a/1.bmp");
    WriteBitmap(dir.path() + "/b/2.bmp");
    WriteBitmap(dir.path() + "/c.bmp");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dir.path() + "/a"), QUrl::fromLocalFile(dir.path() + "/b"),
                  QUrl::fromLocalFile(dir.path() + "/c.bmp")});
    QVERIFY(QFileInfo::exists(dir.path() + "/c.bmp"));
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_->centralWidget(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_->centralWidget(), &drop);
    QTRY_COMPARE(window_->ListView()->model()->rowCount(), 3);
    QCOMPARE(window_->CountLabel()->text(), QString("3 Images"));
    QCOMPARE(window_->Dialogs().Progress()->Bar()->value(), 3);
    QVERIFY(!window_->Dialogs().Progress()->isVisible());
    SelectRow(window_->ListView(), 0);
    SelectRow(window_->ListView(), 1);
    QTest::keyClick(window_->ListView(), Qt::Key_Delete);
    QCOMPARE(window_->CountLabel()->text(), QString("1 Image"));

    // The pop-up menu's commands reach the desktop.
    SelectRow(window_->ListView(), 0);
    for (const char* name : {"pop1", "pop2", "pop3"}) window_->ListMenu()->findChild<QAction*>(name)->trigger();
    QCOMPARE(desktop_.calls.size(), 3);
    QVERIFY(desktop_.calls[0].startsWith("ShowItems file://"));
    QVERIFY(desktop_.calls[1].startsWith("ShowItemProperties file://"));
    QCOMPARE(desktop_.calls[2], QString("clipboard text/uri-list"));
  }

  void optionsBoundBothWays() {
    ui::FormBinder* options = window_->Options()->Binder();
    auto* quality = qobject_cast<QComboBox*>(options->Widget("out_quality"));
    auto* scroll = qobject_cast<QScrollBar*>(options->Widget("ScrollBar1"));
    window_->Options()->show();
    quality->lineEdit()->setFocus();
    quality->lineEdit()->end(false);
    QTest::keyClick(quality->lineEdit(), Qt::Key_1);  // 951 becomes 100
    QCOMPARE(windows_->options.Text("out_quality"), std::string("100"));
    QCOMPARE(quality->currentText(), QString("100"));
    QCOMPARE(scroll->value(), 100);
    windows_->options.SetPosition("ScrollBar1", 40);
    QCOMPARE(quality->currentText(), QString("40"));
    auto* bigger = qobject_cast<QCheckBox*>(options->Widget("act_sizebigger"));
    QTest::mouseClick(bigger, Qt::LeftButton);
    QVERIFY(!windows_->options.Checked("act_sizebigger"));
    QVERIFY(!bigger->isChecked());
    auto* dates = qobject_cast<QCheckBox*>(options->Widget("keep_dates"));
    QVERIFY(dates != nullptr && !dates->isChecked());
    // On the box itself: a check box reacts only where its box and text are.
    QTest::mouseClick(dates, Qt::LeftButton, {}, QPoint(8, dates->height() / 2));
    QVERIFY(windows_->options.Checked("keep_dates"));
  }

  void conversionAnswersTheOverwriteQuestion() {
    QTemporaryDir dir;
    WriteBitmap(dir.path() + "/x.bmp");
    WriteBitmap(dir.path() + "/x-1.bmp");
    const auto before = std::filesystem::last_write_time((dir.path() + "/x-1.bmp").toStdString());
    window_->AddDropped({(dir.path() + "/x.bmp").toStdString()});
    AnswerModal("noButton");
    QVERIFY(QFileInfo::exists(dir.path() + "/x.bmp"));
    QCOMPARE(window_->List().RowCount(), 1);
    window_->findChild<QAction*>("m_datei_konvert")->trigger();  // Ctrl+S
    QVERIFY(window_->Run().Running());
    QTRY_VERIFY_WITH_TIMEOUT(!window_->Run().Running(), 10000);
    QCOMPARE(std::filesystem::last_write_time((dir.path() + "/x-1.bmp").toStdString()), before);
    QCOMPARE(window_->Pages()->currentIndex(), 0);  // Ctrl+S does not move the pages
  }

  // After the run's own messages a summary that does not block: the counts, the failed file with
  // its cause, a report file, and the output folder through the desktop.
  void summaryAfterEveryRun() {
    QTemporaryDir dir;
    const QString a = dir.path() + "/a.bmp", gone = dir.path() + "/gone.bmp";
    WriteBitmap(a);
    WriteBitmap(gone);
    window_->AddDropped({a.toStdString(), gone.toStdString()});
    window_->List().WaitForHeaders(window_->Dialogs());  // both rows filled before one file goes
    QFile::remove(gone);
    AnswerModal("okButton");  // "File not found"
    window_->findChild<QAction*>("m_datei_konvert")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!window_->Run().Running(), 10000);
    ui::RunSummaryWindow& summary = window_->Summary();
    QVERIFY(summary.isVisible());
    QVERIFY(!summary.isModal());
    const QString text = summary.Text();
    for (const QString& part : {QString("Conversion finished"), QString("Written: 1"), QString("Failed: 1"),
                                QString("Kept or skipped: 0"), gone + ": File not found"})
      QVERIFY2(text.contains(part), qPrintable(text));
    QCOMPARE(window_->Dialogs().Progress()->StatusLine()->text(), QString::fromUtf8("100 % \u2013 2 of 2 files"));
    // The list's result column tells each file's end until the list changes.
    QAbstractItemModel* model = window_->ListView()->model();
    const int result = ui::ImageListModel::kResultColumn;
    QCOMPARE(model->headerData(result, Qt::Horizontal).toString(), QString("Result"));
    QCOMPARE(model->index(0, result).data().toString(), QString("written"));
    QCOMPARE(model->index(1, result).data().toString(), QString("failed"));
    QCOMPARE(model->index(1, result).data(Qt::ToolTipRole).toString(), QString("File not found"));
    QVERIFY(!model->index(0, result).data(Qt::ToolTipRole).isValid());

    summary.chooseReportFile = [&](const QString&) { return dir.path() + "/report.txt"; };
    QTest::mouseClick(summary.SaveReportButton(), Qt::LeftButton);
    QFile report(dir.path() + "/report.txt");
    QVERIFY(report.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(report.readAll()), text + "\n");
    QTest::mouseClick(summary.OpenFolderButton(), Qt::LeftButton);
    QCOMPARE(desktop_.calls.last(), "open " + QString::fromStdString(imagelist::FileUri(dir.path().toStdString())));
    SelectRow(window_->ListView(), 1);
    window_->RemoveSelected();
    QCOMPARE(model->rowCount(), 1);
    QVERIFY(!model->index(0, result).data().isValid());
  }

  // Every button and menu item has an access key, and no two that can be reached at the same
  // time share one: every window, every page, both languages.
  void accessKeysAreUniqueInEveryWindow() {
    ui::QtUserDialogs& d = window_->Dialogs();
    ui::RenamerWindow& renamer = window_->Renamer();
    ui::ShortcutsWindow& shortcuts = window_->Shortcuts();
    window_->Summary().Show(ui::RunSummary(), Language::English);
    for (const char* language : {"m_einst_sprache_deutsch", "m_einst_sprache_english"}) {
      window_->findChild<QAction*>(language)->trigger();
      QStringList faults;
      for (int page = 0; page < 3; ++page) {
        window_->Pages()->setCurrentIndex(page);
        faults << AccessKeyFaults(window_.get());
      }
      for (QWidget* w : QList<QWidget*>{window_->Options(), window_->Filter(), d.Message(), d.Overwrite(), d.Progress(),
                                        &renamer, renamer.Filter(), &window_->Summary()})
        faults << AccessKeyFaults(w);
      // The integration dialog repeats "Register" and "Remove" in each group: a group's title
      // takes the focus into it, and the buttons of the group that has the focus have keys.
      shortcuts.Open();
      QApplication::setActiveWindow(&shortcuts);
      for (QGroupBox* group : shortcuts.findChildren<QGroupBox*>()) {
        QAbstractButton* first = group->findChild<QPushButton*>();
        if (first == nullptr) continue;
        first->setFocus();
        QTRY_VERIFY(first->hasFocus());
        faults << AccessKeyFaults(&shortcuts, [&](QAbstractButton* b) {
          QGroupBox* box = qobject_cast<QGroupBox*>(b->parentWidget());
          return box == nullptr || box == group;
        });
      }
      QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    }
  }

  // Keyboard only: the folder box has the focus at once, Enter searches what was typed, Ctrl+Tab
  // turns the pages from any field and puts the focus into the page's chosen mode, and the
  // save page never gives the focus to "Overwrite Original File".
  void keyboardFocusAndPages() {
    QTemporaryDir dir;
    WriteBitmap(dir.path() + "/a.bmp");
    QApplication::setActiveWindow(window_.get());
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QWidget* folder = window_->Binder()->Widget("inp_ordner");
    QCOMPARE(QApplication::focusWidget(), folder);
    QTest::keyClicks(QApplication::focusWidget(), dir.path());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(window_->List().RowCount(), 1);
    QTRY_COMPARE(QApplication::focusWidget(), folder);  // the search gives the field back

    ui::FormBinder* b = window_->Binder();
    const auto turn = [](Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifiers);
    };
    window_->ListView()->setFocus();
    turn();
    QCOMPARE(window_->Pages()->currentIndex(), 1);
    QCOMPARE(QApplication::focusWidget(), b->Widget("act_size640x480"));  // the chosen preset
    windows_->mainForm.SetChecked("rb_faktor", true);
    turn();
    QCOMPARE(window_->Pages()->currentIndex(), 2);
    QCOMPARE(QApplication::focusWidget(), b->Widget("out_ordner")->focusProxy() ? b->Widget("out_ordner")->focusProxy()
                                                                                : b->Widget("out_ordner"));
    turn(Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(window_->Pages()->currentIndex(), 1);
    QCOMPARE(QApplication::focusWidget(), b->Widget("ed_faktor"));
    turn();

    // Round the whole window with Tab: the tip link is on the way, the overwrite choice is not.
    auto* overwrite = qobject_cast<QRadioButton*>(b->Widget("out_overwrite"));
    QWidget* tip = window_->findChild<QLabel*>("tipLink");
    bool tipReached = false;
    for (int i = 0; i < 40; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QVERIFY(QApplication::focusWidget() != overwrite);
      tipReached = tipReached || QApplication::focusWidget() == tip;
      if (QApplication::focusWidget() == tip) {
        QTest::keyClick(tip, Qt::Key_Return);  // opens the help at the tip's topic
        QTRY_VERIFY(window_->Help()->isVisible());
        window_->Help()->hide();
        QApplication::setActiveWindow(window_.get());
        QTRY_VERIFY(window_->isActiveWindow());
        tip->setFocus();
      }
    }
    QVERIFY(tipReached);
    QVERIFY(!windows_->mainForm.Checked("out_overwrite"));
    // Its access key still chooses it, on purpose; the page then offers the button that starts.
    QTest::keyClick(window_.get(), ui::MnemonicOf(overwrite->text()).toLatin1(), Qt::AltModifier);
    QTRY_VERIFY(windows_->mainForm.Checked("out_overwrite"));
    window_->ShowPage(0);
    window_->ShowPage(2);
    QCOMPARE(window_->focusWidget(), window_->ForwardButton());
  }

  // Ctrl+A selects every row and Delete removes them, in the image list and the renamer's list.
  void selectAllAndDeleteInBothLists() {
    QTemporaryDir dir;
    for (const char* name : {"/a.bmp", "/b.bmp", "/c.bmp"}) WriteBitmap(dir.path() + name);
    window_->AddDropped({(dir.path() + "/a.bmp").toStdString(), (dir.path() + "/b.bmp").toStdString(),
                         (dir.path() + "/c.bmp").toStdString()});
    QTRY_COMPARE(window_->List().RowCount(), 3);
    ui::RenamerWindow& renamer = window_->Renamer();
    renamer.Open();
    renamer.AddDropped({(dir.path() + "/a.bmp").toStdString(), (dir.path() + "/b.bmp").toStdString()});
    QCOMPARE(renamer.ListView()->topLevelItemCount(), 2);
    for (QAbstractItemView* view : QList<QAbstractItemView*>{window_->ListView(), renamer.ListView()}) {
      QApplication::setActiveWindow(view->window());
      view->setFocus();
      QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClick(view, Qt::Key_Delete);
      QCOMPARE(view->model()->rowCount(), 0);
    }
    QCOMPARE(window_->List().RowCount(), 0);
    QCOMPARE(window_->CountLabel()->text(), QString("0 Images"));
    QCOMPARE(renamer.Model().Rows().size(), size_t(0));
  }

  // Escape is Break in the progress window; in the options dialog it (and Cancel) brings back
  // the values the dialog had when it was opened, while OK and the close box keep the new ones.
  void escapeBreaksAndCancels() {
    ui::QtUserDialogs& d = window_->Dialogs();
    d.ShowProgress({"title", "line", ""}, 10);
    QTest::keyClick(d.Progress(), Qt::Key_Escape);
    QVERIFY(d.Flags().cancelProgress);
    d.Flags().cancelProgress = false;
    d.HideProgress();

    ui::OptionsDialog* options = window_->Options();
    auto* progressive = qobject_cast<QCheckBox*>(options->Binder()->Widget("progressivaktiv"));
    const auto change = [&] {
      options->show();
      QTest::mouseClick(progressive, Qt::LeftButton, {}, QPoint(8, progressive->height() / 2));
      windows_->options.SetPosition("ScrollBar1", 30);
    };
    const bool before = windows_->options.Checked("progressivaktiv");
    const std::string quality = windows_->options.Text("out_quality");
    change();
    QTest::keyClick(options, Qt::Key_Escape);
    QVERIFY(!options->isVisible());
    QCOMPARE(windows_->options.Checked("progressivaktiv"), before);
    QCOMPARE(progressive->isChecked(), before);
    QCOMPARE(windows_->options.Text("out_quality"), quality);
    QCOMPARE(windows_->options.Position("ScrollBar1"), std::stoi(quality));
    change();
    QTest::mouseClick(options->CancelButton(), Qt::LeftButton);
    QCOMPARE(windows_->options.Checked("progressivaktiv"), before);
    change();
    options->close();
    QCOMPARE(windows_->options.Checked("progressivaktiv"), !before);
    QCOMPARE(windows_->options.Text("out_quality"), std::string("30"));
  }

  // F2 asks first; the reset then shows the special texts of the interface's language, as a
  // configuration load does.
  void resetAsksAndSpeaksTheLanguage() {
    windows_->mainForm.SetText("out_name", "kept");
    QApplication::setActiveWindow(window_.get());
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    AnswerModal("noButton");
    QTest::keyClick(window_.get(), Qt::Key_F2);
    QCOMPARE(windows_->mainForm.Text("out_name"), std::string("kept"));
    QApplication::setActiveWindow(window_.get());  // the offscreen platform does not hand it back
    AnswerModal("yesButton");
    QTest::keyClick(window_.get(), Qt::Key_F2);
    QCOMPARE(windows_->mainForm.Text("out_name"), std::string("%name%-1"));
    for (const char* box : {"out_ordner", "out_format"}) {
      QCOMPARE(windows_->mainForm.Text(box), std::string("<keep>"));
      QCOMPARE(qobject_cast<QComboBox*>(window_->Binder()->Widget(box))->currentText(), QString("<keep>"));
    }
  }

  // The size column speaks the locale and has room for large sizes; a cut name shows whole as
  // a tooltip; the preview line shortens the file names and keeps the sizes and the folder.
  void sizesNamesAndPreviewInNarrowSpace() {
    window_.reset();
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    window_ = std::make_unique<ui::MainWindow>(*windows_, &desktop_);
    QLocale::setDefault(QLocale::c());
    window_->show();
    QTemporaryDir dir;
    const QString name = "a rather long name of a holiday picture taken at the beach in the morning";
    WriteBitmap(dir.path() + "/" + name + ".bmp");
    window_->AddDropped({(dir.path() + "/" + name + ".bmp").toStdString()});
    window_->List().WaitForHeaders(window_->Dialogs());
    QTreeView* view = window_->ListView();
    QTRY_COMPARE(view->model()->rowCount(), 1);
    QCOMPARE(view->model()->index(0, 4).data().toString(), QString("0,084 KB"));
    const QString large = QString::fromStdString(imagelist::SizeText(999999999999ull, ","));
    QVERIFY(view->columnWidth(4) > view->fontMetrics().horizontalAdvance(large));

    // The tooltip over the first cell of a list, here and in the renamer.
    const auto tipOverFirstCell = [](QAbstractItemView* list) {
      const QPoint at = list->visualRect(list->model()->index(0, 0)).center();
      QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
      QApplication::sendEvent(list->viewport(), &help);
      return QToolTip::text();
    };
    QCOMPARE(tipOverFirstCell(view), name);
    QToolTip::hideText();
    ui::RenamerWindow& renamer = window_->Renamer();
    renamer.Open();
    const QString other = "another long name, of the same picture, for the renamer's list of files";
    WriteText(dir.path() + "/" + other + ".txt");
    renamer.AddDropped({(dir.path() + "/" + other + ".txt").toStdString()});
    renamer.ListView()->setColumnWidth(0, 60);
    const QString cell = renamer.ListView()->model()->index(0, 0).data().toString();
    QVERIFY(cell.startsWith(other));
    QCOMPARE(tipOverFirstCell(renamer.ListView()), cell);

    windows_->mainForm.SetChecked("rb_prozent", true);
    windows_->mainForm.SetText("out_ordner", dir.path().toStdString() + "/small");
    window_->resize(520, window_->height());
    window_->ShowPage(2);
    QTRY_VERIFY(window_->PreviewLabel()->text().contains(QChar(0x2026)));
    const QString line = window_->PreviewLabel()->text();
    for (const QString& whole : {QString::fromUtf8(" 4 \u00D7 2 \u2192 "), dir.path() + "/small/"})
      QVERIFY2(line.contains(whole), qPrintable(line));
    QVERIFY(window_->PreviewLabel()->toolTip().startsWith(name + ".bmp"));
  }

  void configurationRoundTrip() {
    const std::string path = (home_.path() + "/round.vxc").toStdString();
    windows_->mainForm.SetText("out_name", " lead");
    windows_->mainForm.SetChecked("rb_prozent", true);
    window_->SaveConfiguration(path);
    window_->AddConfigurationEntry(path);
    window_->AddConfigurationEntry(path);  // once only
    config::LoadStandardConfiguration(*windows_);
    windows_->mainForm.SetChecked("rb_pixel", true);
    QAction* entry = window_->ConfigMenu()->findChild<QAction*>("m_konfig_8");
    QVERIFY(entry != nullptr);
    QVERIFY(window_->ConfigMenu()->findChild<QAction*>("m_konfig_9") == nullptr);
    entry->trigger();
    QCOMPARE(windows_->mainForm.Text("out_name"), std::string(" lead"));
    QVERIFY(windows_->mainForm.Checked("rb_prozent"));
    QVERIFY(window_->Binder()->Widget("pa_prozent")->isVisibleTo(window_.get()) ||
            window_->Pages()->currentIndex() != 1);
    QVERIFY(!window_->Binder()->Widget("pa_pixel")->isVisibleTo(window_->Pages()->widget(1)));
  }

  void languageSwitchReachesEveryWindow() {
    ui::SplashWindow splash(Language::English, [] {});
    window_->Languages().Register(ui::LanguageOrder::Splash, &splash, [&](Language l) { splash.ApplyTexts(l); });
    ui::QtUserDialogs& d = window_->Dialogs();
    QList<QWidget*> windows{window_.get(), window_->Options(), window_->Filter(), d.Message(), d.Overwrite(),
                            d.Progress(), &splash};
    auto* english = window_->findChild<QAction*>("m_einst_sprache_english");
    auto* german = window_->findChild<QAction*>("m_einst_sprache_deutsch");
    windows_->mainForm.SetText("out_name", "%name% (%width%x%height%)");
    for (const Language l : {Language::German, Language::English, Language::German}) {
      (l == Language::German ? german : english)->trigger();
      QCOMPARE(german->isChecked(), l == Language::German);
      QCOMPARE(english->isChecked(), l == Language::English);
      const Language other = l == Language::German ? Language::English : Language::German;
      const QSet<QString> foreign = TextsOnlyIn(other, l);
      const QSet<QString> own = TextsOnlyIn(l, other);
      int seen = 0;
      for (QWidget* w : windows) {
        QVERIFY2(!w->windowTitle().isEmpty(), qPrintable(w->objectName()));
        for (const QString& text : ShownTexts(w)) {
          QVERIFY2(!foreign.contains(text), qPrintable(w->objectName() + ": " + text));
          seen += own.contains(text);
        }
      }
      QVERIFY(seen > 100);  // the walk does reach the texts
      QCOMPARE(window_->List().CounterLabel(), std::string(l == Language::German ? "0 Bilder" : "0 Images"));
    }
    QCOMPARE(windows_->mainForm.Text("out_name"), std::string("%name% (%breite%x%höhe%)"));
    QCOMPARE(ui::Application::Title(), QString("Vexilo Pro - Corvana"));

    // A message on screen keeps its language; the next one comes in the new language.
    english->trigger();
    QTimer::singleShot(100, [&] {
      german->trigger();
      QCOMPARE(d.Message()->Line(0)->text(), QString("File already added"));
      d.Message()->findChild<QPushButton*>("okButton")->click();
    });
    d.Report(forms::msg::kAlreadyInList, "/a.jpg");
    AnswerModal("okButton");
    d.Report(forms::msg::kAlreadyInList, "/a.jpg");
    QCOMPARE(d.Message()->Line(0)->text(), QString("Datei ist schon hinzugefügt"));
  }

  void splashHandsOver() {
    int shown = 0;
    ui::SplashWindow splash(Language::German, [&] { ++shown; });
    QCOMPARE(splash.Timer()->interval(), 600);
    // After each tick: whether the main window was shown and the splash is still visible.
    QStringList states;
    connect(splash.Timer(), &QTimer::timeout, this,
            [&] { states << QString("%1:%2%3").arg(splash.Ticks()).arg(shown).arg(splash.isVisible() ? "v" : "h"); });
    splash.Start();
    splash.Timer()->setInterval(5);
    QTRY_VERIFY(!splash.Timer()->isActive());
    QCOMPARE(states.join(' '), QString("1:0v 2:0v 3:0v 4:1v 5:1v 6:1h 7:1h 8:1h"));
    // A click hands over at once.
    ui::SplashWindow clicked(Language::English, [&] { ++shown; });
    clicked.Start();
    QTest::mouseClick(&clicked, Qt::LeftButton);
    QCOMPARE(shown, 2);
    QVERIFY(!clicked.isVisible());
    QVERIFY(!clicked.Timer()->isActive());
  }

  void startArgumentsAndStartConfiguration() {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("pictures");
    WriteBitmap(dir.path() + "/pictures/1.bmp");
    WriteBitmap(dir.path() + "/pictures/2.bmp");
    WriteBitmap(dir.path() + "/single.bmp");
    windows_->mainForm.SetText("out_name", "from-auto");
    config::SaveStartConfiguration(*windows_);
    windows_->mainForm.SetText("out_name", "from-argument");
    window_->SaveConfiguration((dir.path() + "/given.vxc").toStdString());
    window_.reset();

    // A folder, a file and a configuration: the configuration is loaded, not the start one.
    windows_ = std::make_unique<config::ProgramWindows>(Language::English);
    window_ = std::make_unique<ui::MainWindow>(*windows_, &desktop_);
    window_->SetStartArguments({(dir.path() + "/pictures").toStdString(), (dir.path() + "/single.bmp").toStdString(),
                                (dir.path() + "/given.vxc").toStdString()});
    window_->show();
    QTRY_COMPARE(window_->List().RowCount(), 3);
    QCOMPARE(window_->CountLabel()->text(), QString("3 Images"));
    QCOMPARE(windows_->mainForm.Text("out_name"), std::string("from-argument"));
    QVERIFY(window_->ConfigMenu()->findChild<QAction*>("m_konfig_8") != nullptr);

    // ".VXC" is no configuration: an image to the list (and not one), and the start one loads.
    window_.reset();
    windows_ = std::make_unique<config::ProgramWindows>(Language::English);
    window_ = std::make_unique<ui::MainWindow>(*windows_, &desktop_);
    QVERIFY(QFile::copy(dir.path() + "/given.vxc", dir.path() + "/given.VXC"));
    window_->SetStartArguments({(dir.path() + "/given.VXC").toStdString()});
    QString shown;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
      if (QApplication::activeModalWidget() != window_->Dialogs().Message()) return;
      shown = window_->Dialogs().Message()->Line(0)->text();
      window_->Dialogs().Message()->findChild<QPushButton*>("okButton")->click();
    });
    poll.start(20);
    window_->show();
    QTRY_COMPARE(shown, QString("Format not supported"));
    QTRY_COMPARE(windows_->mainForm.Text("out_name"), std::string("from-auto"));
    QCOMPARE(window_->List().RowCount(), 0);
  }

  void handedOverPathsWaitForTheRun() {
    QTemporaryDir dir;
    WriteBitmap(dir.path() + "/y.bmp");
    WriteBitmap(dir.path() + "/z.bmp");
    window_->AddDropped({(dir.path() + "/y.bmp").toStdString()});
    window_->findChild<QAction*>("m_datei_konvert")->trigger();
    QVERIFY(window_->Run().Running());
    window_->Receive({(dir.path() + "/z.bmp").toStdString()});
    QTest::qWait(20);
    if (window_->Run().Running()) QCOMPARE(window_->List().RowCount(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!window_->Run().Running(), 10000);
    QTRY_COMPARE(window_->List().RowCount(), 2);
    QCOMPARE(window_->CountLabel()->text(), QString("2 Images"));
  }

  // The real program twice: the second start's paths reach the first one's list, and the second
  // process ends at once without a window of its own.
  void secondStartHandsOver() {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("pictures");
    WriteBitmap(dir.path() + "/pictures/1.bmp");
    WriteBitmap(dir.path() + "/pictures/2.bmp");
    WriteBitmap(dir.path() + "/3.bmp");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("VEXILO_HOME", dir.path() + "/home");
    env.insert("VEXILO_COUNT_FILE", dir.path() + "/count");
    const auto count = [&] {
      QFile f(dir.path() + "/count");
      return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toInt() : -1;
    };
    QProcess first;
    first.setProcessEnvironment(env);
    first.setWorkingDirectory(dir.path());
    first.start(VEXILO_PROGRAM, {"--no-splash"});
    QVERIFY(first.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(count(), 0, 10000);

    QProcess second;
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(dir.path());
    // Relative paths name the sender's working folder.
    second.start(VEXILO_PROGRAM, {"pictures", "3.bmp"});
    QVERIFY(second.waitForFinished(5000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(count(), 3, 10000);

    // A start without arguments is a second, independent instance.
    QProcess third;
    third.setProcessEnvironment(env);
    third.start(VEXILO_PROGRAM, {"--no-splash"});
    QVERIFY(third.waitForStarted());
    QVERIFY(!third.waitForFinished(1500));
    third.terminate();
    QVERIFY(third.waitForFinished(5000));
    first.terminate();
    QVERIFY(first.waitForFinished(5000));
  }

  // Linux allows any bytes in a name. One that is not valid UTF-8 reaches the list byte for byte
  // when it is dropped, given on the command line or handed over by a second start.
  void namesThatAreNotUtf8() {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string dropped = folder + "/dropped \xff\xfe.bmp", started = folder + "/started \xe9.bmp",
                      handed = folder + "/handed \xc3(.bmp";
    for (const std::string& path : {dropped, started, handed}) WriteBitmap(QString(), path);

    QMimeData data;
    data.setUrls({QUrl::fromEncoded("file://" + QByteArray::fromStdString(dropped).toPercentEncoding("/"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_->centralWidget(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_->centralWidget(), &drop);
    QTRY_COMPARE(window_->List().RowCount(), 1);
    QCOMPARE(window_->List().RowPath(0), dropped);

    // The real program: the first start lists its argument, the second hands its own over.
    const std::string count = folder + "/count";
    const auto rows = [&] {
      std::ifstream in(count);
      int n = -1;
      in >> n;
      return n;
    };
    const auto start = [&](const std::string& argument, const char* extra) {
      const pid_t child = fork();
      if (child == 0) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("VEXILO_HOME", (folder + "/home").c_str(), 1);
        setenv("VEXILO_COUNT_FILE", count.c_str(), 1);
        execl(VEXILO_PROGRAM, VEXILO_PROGRAM, extra, argument.c_str(), static_cast<char*>(nullptr));
        _exit(127);
      }
      return child;
    };
    const pid_t first = start(started, "--no-splash");
    QTRY_COMPARE_WITH_TIMEOUT(rows(), 1, 10000);
    const pid_t second = start(handed, "--no-splash");
    int status = 0;
    QCOMPARE(waitpid(second, &status, 0), second);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QTRY_COMPARE_WITH_TIMEOUT(rows(), 2, 10000);
    kill(first, SIGTERM);
    QCOMPARE(waitpid(first, &status, 0), first);
    std::filesystem::remove_all(folder);  // QTemporaryDir cannot name these files to remove them
  }

  void renamerPreviewPlaceholderRenameUndo() {
    QTemporaryDir dir;
    const QString a = dir.path() + "/a.txt", b = dir.path() + "/b.txt";
    WriteText(a);
    WriteText(b);
    window_->findChild<QAction*>("m_datei_dateiumb")->trigger();
    ui::RenamerWindow& r = window_->Renamer();
    QVERIFY(r.isVisible());
    r.AddDropped({a.toStdString(), b.toStdString()});
    QCOMPARE(r.ListView()->topLevelItemCount(), 2);
    r.ListView()->topLevelItem(0)->setSelected(true);
    QCOMPARE(r.OldNameLabel()->FullText(), QString("a.txt"));
    QCOMPARE(r.OldNameLabel()->toolTip(), a);

    // Typing a mask updates the preview.
    auto* mask = r.Binder()->Widget("maske")->findChild<QLineEdit*>();
    mask->setFocus();
    mask->selectAll();
    QTest::keyClicks(mask, "x%num%");
    QCOMPARE(r.NewNameLabel()->FullText(), QString("x1.txt"));
    QCOMPARE(r.NewNameLabel()->toolTip(), dir.path() + "/x1.txt");

    // A placeholder goes in at the caret, and the caret lands after it.
    mask->setCursorPosition(1);
    QTest::mouseClick(r.Placeholder("Label12"), Qt::LeftButton);
    QCOMPARE(mask->text(), QString("x%0num%%num%"));
    QCOMPARE(mask->cursorPosition(), 7);
    QCOMPARE(windows_->renamer.Text("maske"), std::string("x%0num%%num%"));
    QCOMPARE(r.NewNameLabel()->FullText(), QString("x11.txt"));

    QVERIFY(!r.UndoButton()->isEnabled());
    QTest::mouseClick(r.RenameButton(), Qt::LeftButton);
    QVERIFY(QFileInfo::exists(dir.path() + "/x11.txt"));
    QVERIFY(QFileInfo::exists(dir.path() + "/x22.txt"));
    QCOMPARE(r.StatusText(), QString("2 files renamed"));
    QCOMPARE(r.ListView()->topLevelItem(0)->text(3), QString("Renamed"));
    QVERIFY(r.UndoButton()->isEnabled());

    QTest::mouseClick(r.UndoButton(), Qt::LeftButton);
    QVERIFY(QFileInfo::exists(a) && QFileInfo::exists(b));
    QVERIFY(!QFileInfo::exists(dir.path() + "/x11.txt"));
    QCOMPARE(r.StatusText(), QString("2 files restored"));
    QCOMPARE(r.ListView()->topLevelItem(0)->text(4), a);
    QVERIFY(!r.UndoButton()->isEnabled());
  }

  void renamerOffersToRollBackAnInterruptedRun() {
    QTemporaryDir dir;
    const std::string a = (dir.path() + "/a.txt").toStdString(), c = (dir.path() + "/c.txt").toStdString();
    WriteText(dir.path() + "/a.txt");
    renamer::RenameJournal journal(renamer::RenameJournal::DefaultPath());
    QCOMPARE(journal.Start({{a, c, renamer::JournalEntry::State::Old}}), std::string());
    QCOMPARE(journal.Mark("try", 0), std::string());
    std::filesystem::rename(a, c);
    QCOMPARE(journal.Mark("done", 0), std::string());  // no "end": the run was cut off
    ui::RenamerWindow& r = window_->Renamer();
    QString asked;
    r.askPending = [&asked](const QString& text) {
      asked = text;
      return 0;  // roll back
    };
    r.Open();
    QTRY_VERIFY(!asked.isEmpty());
    QVERIFY(asked.contains("1 of 1"));
    QVERIFY(QFileInfo::exists(QString::fromStdString(a)));
    QVERIFY(!QFileInfo::exists(QString::fromStdString(c)));
    QVERIFY(!r.UndoButton()->isEnabled());
  }

  void shortcutsRegisterAndRemove() {
    QTemporaryDir xdg;
    qputenv("XDG_DATA_HOME", (xdg.path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (xdg.path() + "/config").toUtf8());
    window_->findChild<QAction*>("m_einstshortcuts")->trigger();
    ui::ShortcutsWindow& s = window_->Shortcuts();
    QVERIFY(s.isVisible());
    auto* status = qobject_cast<QLabel*>(s.Binder()->Widget("ver_ordner"));
    const QColor green(0, 128, 0), red(192, 0, 0);
    QCOMPARE(status->text(), QString("Not activated"));
    QCOMPARE(status->palette().color(QPalette::WindowText), red);
    QVERIFY(!s.Binder()->Widget("AlsAdminStarten")->isVisible());
    QTest::mouseClick(s.Binder()->Widget("OrdnerAn"), Qt::LeftButton);
    QCOMPARE(status->text(), QString("Activated"));
    QCOMPARE(status->palette().color(QPalette::WindowText), green);
    QVERIFY(QString::fromStdString(s.Integration().Env().dataHome).startsWith(xdg.path()));
    QVERIFY(s.Integration().Active(desktop::Hook::Folders));
    QCOMPARE(qobject_cast<QLabel*>(s.Binder()->Widget("ver_sendenan"))->text(), QString("Not activated"));
    QTest::mouseClick(s.Binder()->Widget("OrdnerAus"), Qt::LeftButton);
    QCOMPARE(status->text(), QString("Not activated"));
    QCOMPARE(status->palette().color(QPalette::WindowText), red);
    QVERIFY(!s.Integration().Active(desktop::Hook::Folders));
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_CONFIG_HOME");
  }

  // Last: the language it adds to the list stays for the rest of the process. A language that
  // only the test knows, built from the English tables in upper case, is offered in the menu and
  // reaches every window, and the special texts convert from and to it.
  void languageAddedToTheList() {
    const Language pseudo = testsupport::PseudoLanguage();
    QTemporaryDir xdg;
    qputenv("XDG_DATA_HOME", (xdg.path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (xdg.path() + "/config").toUtf8());
    cleanup();
    QDir(home_.path() + "/settings").removeRecursively();  // no start configuration of an earlier test
    init();  // the menu lists the languages when the window is built
    ui::QtUserDialogs& d = window_->Dialogs();
    QList<QWidget*> windows{window_.get(), window_->Options(), window_->Filter(), d.Message(), d.Overwrite(),
                            d.Progress(), &window_->Renamer(), &window_->Shortcuts(), window_->Help()};
    auto* item = window_->findChild<QAction*>("m_einst_sprache_pseudo");
    QVERIFY(item != nullptr);
    QCOMPARE(ui::WithoutMnemonic(item->text()), QString("PSEUDO"));
    windows_->mainForm.SetText("out_name", "%name% (%breite%x%höhe%)");
    item->trigger();
    QVERIFY(item->isChecked());
    QVERIFY(!window_->findChild<QAction*>("m_einst_sprache_english")->isChecked());
    QSet<QString> foreign = TextsOnlyIn(Language::English, pseudo);
    foreign.unite(TextsOnlyIn(Language::German, pseudo));
    const QSet<QString> own = TextsOnlyIn(pseudo, Language::English);
    int seen = 0;
    for (QWidget* w : windows) {
      for (const QString& text : ShownTexts(w)) {
        QVERIFY2(!foreign.contains(text), qPrintable(w->objectName() + ": " + text));
        seen += own.contains(text);
      }
    }
    QVERIFY(seen > 150);
    QCOMPARE(window_->windowTitle(), QString("VEXILO - CORVANA"));
    QCOMPARE(window_->Options()->windowTitle(), QString("OPTIONS"));
    QCOMPARE(window_->CountLabel()->text(), QString("0 IMAGES"));
    QCOMPARE(windows_->mainForm.Text("out_name"), std::string("%name% (%WIDTH%x%HEIGHT%)"));
    AnswerModal("okButton");
    d.Report(forms::msg::kAlreadyInList, "/a.jpg");
    QCOMPARE(d.Message()->Line(0)->text(), QString("FILE ALREADY ADDED"));

    window_->findChild<QAction*>("m_einst_sprache_deutsch")->trigger();
    QCOMPARE(windows_->mainForm.Text("out_name"), std::string("%name% (%breite%x%höhe%)"));
    QVERIFY(!item->isChecked());
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_CONFIG_HOME");
  }

private:
  QTemporaryDir home_;
  FakeDesktop desktop_;
  std::unique_ptr<config::ProgramWindows> windows_;
  std::unique_ptr<ui::MainWindow> window_;
};

QTEST_MAIN(WindowsTest)
#include "tst_windows.moc"
