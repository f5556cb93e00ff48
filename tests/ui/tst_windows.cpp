// The desktop program's windows, driven through their widgets on the offscreen platform.
#include <filesystem>
#include <fstream>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "config/Configuration.h"
#include "engine/ImageFiles.h"
#include "imaging/Imaging.h"
#include "ui/FormBinder.h"
#include "ui/MainWindow.h"
#include "renamer/RenameJournal.h"
#include "ui/QtDialogs.h"
#include "ui/RenamerWindow.h"
#include "ui/RunController.h"
#include "ui/SettingsDialogs.h"
#include "ui/ShortcutsWindow.h"

namespace {

void WriteText(const QString& path) {
  std::ofstream(path.toStdString()) << "x";
}

void WriteBitmap(const QString& path) {
  imaging::ImageData image;
  imaging::CreateImage(4, 2, imaging::PixelFormat::A8R8G8B8, image);
  vexilo::SaveImageFile(path.toStdString(), image);
  imaging::ReleaseImage(image);
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
    QCOMPARE(forward->text(), QString("Forward >>"));
    QTest::mouseClick(forward, Qt::LeftButton);
    QCOMPARE(window_->Pages()->currentIndex(), 1);
    QCOMPARE(forward->text(), QString("Forward >>"));
    QTest::mouseClick(forward, Qt::LeftButton);
    QCOMPARE(window_->Pages()->currentIndex(), 2);
    QCOMPARE(forward->text(), QString("Save Images"));
    QTest::mouseClick(forward, Qt::LeftButton);  // empty list: nothing happens
    QVERIFY(!window_->Run().Running());
    window_->Pages()->setCurrentIndex(0);  // a tab click
    QCOMPARE(forward->text(), QString("Forward >>"));
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
    QTRY_COMPARE(window_->ListView()->topLevelItemCount(), 3);
    QCOMPARE(window_->CountLabel()->text(), QString("3 Images"));
    QCOMPARE(window_->Dialogs().Progress()->Bar()->value(), 3);
    QVERIFY(!window_->Dialogs().Progress()->isVisible());
    window_->ListView()->topLevelItem(0)->setSelected(true);
    window_->ListView()->topLevelItem(1)->setSelected(true);
    QTest::keyClick(window_->ListView(), Qt::Key_Delete);
    QCOMPARE(window_->CountLabel()->text(), QString("1 Image"));

    // The pop-up menu's commands reach the desktop.
    window_->ListView()->topLevelItem(0)->setSelected(true);
    for (const char* name : {"pop1", "pop2", "pop3"}) window_->ListMenu()->findChild<QAction*>(name)->trigger();
    QCOMPARE(desktop_.calls.size(), 3);
    QVERIFY(desktop_.calls[0].startsWith("ShowItems file://"));
    QVERIFY(desktop_.calls[1].startsWith("ShowItemProperties file://"));
    QCOMPARE(desktop_.calls[2], QString("clipboard text/uri-list"));
  }

  void optionsBoundBothWays() {
    auto* quality = window_->Options()->findChild<QComboBox*>("out_quality");
    auto* scroll = window_->Options()->findChild<QScrollBar*>("ScrollBar1");
    window_->Options()->show();
    quality->lineEdit()->setFocus();
    quality->lineEdit()->end(false);
    QTest::keyClick(quality->lineEdit(), Qt::Key_1);  // 951 becomes 100
    QCOMPARE(windows_->optionen.Text("out_quality"), std::string("100"));
    QCOMPARE(quality->currentText(), QString("100"));
    QCOMPARE(scroll->value(), 100);
    windows_->optionen.SetPosition("ScrollBar1", 40);
    QCOMPARE(quality->currentText(), QString("40"));
    auto* bigger = window_->Options()->findChild<QCheckBox*>("act_sizebigger");
    QTest::mouseClick(bigger, Qt::LeftButton);
    QVERIFY(!windows_->optionen.Checked("act_sizebigger"));
    QVERIFY(!bigger->isChecked());
  }

  void conversionAnswersTheOverwriteQuestion() {
    QTemporaryDir dir;
    WriteBitmap(dir.path() + "/x.bmp");
    WriteBitmap(dir.path() + "/x-1.bmp");
    const auto before = std::filesystem::last_write_time((dir.path() + "/x-1.bmp").toStdString());
    window_->AddDropped({(dir.path() + "/x.bmp").toStdString()});
    AnswerModal("Nein");
    QVERIFY(QFileInfo::exists(dir.path() + "/x.bmp"));
    QCOMPARE(window_->List().RowCount(), 1);
    window_->findChild<QAction*>("m_datei_konvert")->trigger();  // Ctrl+S
    QVERIFY(window_->Run().Running());
    QTRY_VERIFY_WITH_TIMEOUT(!window_->Run().Running(), 10000);
    QCOMPARE(std::filesystem::last_write_time((dir.path() + "/x-1.bmp").toStdString()), before);
    QCOMPARE(window_->Pages()->currentIndex(), 0);  // Ctrl+S does not move the pages
  }

  void configurationRoundTrip() {
    const std::string path = (home_.path() + "/round.vxc").toStdString();
    windows_->tprog.SetText("out_name", " lead");
    windows_->tprog.SetChecked("rb_prozent", true);
    window_->SaveConfiguration(path);
    window_->AddConfigurationEntry(path);
    window_->AddConfigurationEntry(path);  // once only
    config::KonfigurationLadenStandard(*windows_);
    windows_->tprog.SetChecked("rb_pixel", true);
    QAction* entry = window_->ConfigMenu()->findChild<QAction*>("m_konfig_8");
    QVERIFY(entry != nullptr);
    QVERIFY(window_->ConfigMenu()->findChild<QAction*>("m_konfig_9") == nullptr);
    entry->trigger();
    QCOMPARE(windows_->tprog.Text("out_name"), std::string(" lead"));
    QVERIFY(windows_->tprog.Checked("rb_prozent"));
    QVERIFY(window_->Binder()->Widget("pa_prozent")->isVisibleTo(window_.get()) ||
            window_->Pages()->currentIndex() != 1);
    QVERIFY(!window_->Binder()->Widget("pa_pixel")->isVisibleTo(window_->Pages()->widget(1)));
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
    auto* status = s.findChild<QLabel*>("ver_ordner");
    const QColor green(0, 128, 0), red(192, 0, 0);
    QCOMPARE(status->text(), QString("Not activated"));
    QCOMPARE(status->palette().color(QPalette::WindowText), red);
    QVERIFY(!s.findChild<QPushButton*>("AlsAdminStarten")->isVisible());
    QTest::mouseClick(s.findChild<QPushButton*>("OrdnerAn"), Qt::LeftButton);
    QCOMPARE(status->text(), QString("Activated"));
    QCOMPARE(status->palette().color(QPalette::WindowText), green);
    QVERIFY(QString::fromStdString(s.Integration().Env().dataHome).startsWith(xdg.path()));
    QVERIFY(s.Integration().Active(desktop::Hook::Folders));
    QCOMPARE(s.findChild<QLabel*>("ver_sendenan")->text(), QString("Not activated"));
    QTest::mouseClick(s.findChild<QPushButton*>("OrdnerAus"), Qt::LeftButton);
    QCOMPARE(status->text(), QString("Not activated"));
    QCOMPARE(status->palette().color(QPalette::WindowText), red);
    QVERIFY(!s.Integration().Active(desktop::Hook::Folders));
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
