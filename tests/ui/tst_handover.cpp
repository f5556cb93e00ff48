// The single-instance hand-over: the private socket folder, the receiver's limits, the users on
// both sides, a stale socket, and real starts of the program on other displays and settings.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include "engine/ImageFiles.h"
#include "imaging/Codec.h"
#include "ui/SingleInstance.h"

namespace {

namespace fs = std::filesystem;

int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

sockaddr_un AddressOf(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size());
  return address;
}

// A socket file whose process has gone: bound, never listened on, closed without removing it.
void MakeStaleSocket(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  const sockaddr_un address = AddressOf(path);
  QCOMPARE(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
}

// The hand-over from another thread, while this one's event loop lets the receiver answer.
bool HandOverWhileServing(const QString& address, const std::vector<std::string>& arguments) {
  std::future<bool> handed =
      std::async(std::launch::async, [&] { return ui::HandOverToRunningInstance(address, arguments); });
  while (handed.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) QTest::qWait(10);
  return handed.get();
}

// A child process that runs `body` as the user "nobody" and exits with its result; this process
// lets events through until it ends. -1 when the child could not become that user.
int AsNobody(const std::function<int()>& body) {
  const pid_t child = fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(255);
    _exit(body());
  }
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) == 0) QTest::qWait(10);
  return WIFEXITED(status) && WEXITSTATUS(status) != 255 ? WEXITSTATUS(status) : -1;
}

}  // namespace

class HandOverTest : public QObject {
  Q_OBJECT

private slots:
  // The runtime folder is used only when it is this user's and closed to others; otherwise the
  // per-user folder under the temporary folder is made 0700 and checked the same way, and a
  // folder that fails is not used at all.
  void privateFolderRules() {
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    const std::string uid = std::to_string(::geteuid());
    const std::string good = root + "/good", open = root + "/open";
    ::mkdir(good.c_str(), 0700);
    ::mkdir(open.c_str(), 0700);
    ::chmod(open.c_str(), 0755);
    fs::create_directory_symlink(good, root + "/link");
    enum class Used { Runtime, Fallback, None };
    struct Case {
      const char* what;
      std::string runtime;
      std::function<void(const std::string& fallback)> prepare;
      Used used;
      std::string problem;  // a part of the problem text; empty: none
    };
    const auto as = [](const std::string&) {};
    const std::vector<Case> cases = {
        {"the runtime folder", good, as, Used::Runtime, ""},
        {"no runtime folder", "", as, Used::Fallback, ""},
        {"a runtime folder open to others", open, as, Used::Fallback,
         "XDG_RUNTIME_DIR is not used: \"" + open + "\" may be entered by other users (mode 0755)"},
        {"a runtime folder behind a link", root + "/link", as, Used::Fallback, "is a symbolic link"},
        {"a relative runtime folder", "run", as, Used::Fallback, "\"run\" is not an absolute path"},
        {"a planted link", "", [&](const std::string& f) { fs::create_directory_symlink(good, f); }, Used::None,
         "is a symbolic link"},
        {"a folder open to others", "", [](const std::string& f) { ::mkdir(f.c_str(), 0700); ::chmod(f.c_str(), 0777); },
         Used::None, "may be entered by other users (mode 0777)"},
        {"a file", "", [](const std::string& f) { std::ofstream(f) << "x"; }, Used::None, "is not a folder"},
        {"no temporary folder", "", [](const std::string& f) { fs::remove_all(fs::path(f).parent_path()); }, Used::None,
         "cannot be made: No such file or directory"},
    };
    int n = 0;
    for (const Case& c : cases) {
      const std::string base = root + "/base" + std::to_string(n++);
      fs::create_directory(base);
      const std::string fallback = base + "/vexilo-" + uid;
      c.prepare(fallback);
      const ui::SocketFolder found = ui::FindSocketFolder(c.runtime, base + "/");
      const std::string expected = c.used == Used::Runtime ? c.runtime : c.used == Used::Fallback ? fallback : "";
      QVERIFY2(found.folder == expected, c.what);
      QVERIFY2(c.problem.empty() ? found.problem.empty() : found.problem.find(c.problem) != std::string::npos,
               (std::string(c.what) + ": " + found.problem).c_str());
      if (c.used == Used::Fallback) {
        struct stat info {};
        QCOMPARE(::lstat(fallback.c_str(), &info), 0);
        QVERIFY2(S_ISDIR(info.st_mode) && (info.st_mode & 07777) == 0700, c.what);
      }
    }
    if (::geteuid() == 0) {
      QVERIFY(::chown(good.c_str(), 65534, 65534) == 0);
      QVERIFY(ui::PrivateFolderProblem(good).find("belongs to another user (uid 65534)") != std::string::npos);
    }
  }

  // A client that stops in the middle of its message is dropped after the time limit, one that
  // announces more than a command line gets "not handled" at once, and idle clients beyond a
  // few are closed at once: the program holds no more than a few descriptors for them. Then a
  // real hand-over still gets through.
  void receiverDropsSlowOversizedAndSurplusClients() {
    QTemporaryDir dir;
    const QString address = dir.path() + "/s";
    ui::InstanceReceiver receiver(address, 300);
    QVERIFY(receiver.Listening());
    std::vector<std::string> received;
    receiver.SetHandler([&](std::vector<std::string> paths) { received = std::move(paths); });

    QLocalSocket slow;
    slow.connectToServer(address);
    QVERIFY(slow.waitForConnected(1000));
    slow.write(QByteArray("\x10\x00", 2));
    slow.flush();
    QLocalSocket huge;
    huge.connectToServer(address);
    QVERIFY(huge.waitForConnected(1000));
    QByteArray announce(4, '\0');
    qToLittleEndian<quint32>((16u << 20) + 2, announce.data());
    huge.write(announce);
    huge.flush();
    QTRY_COMPARE_WITH_TIMEOUT(huge.bytesAvailable(), qint64(4), 2000);
    QCOMPARE(qFromLittleEndian<quint32>(huge.read(4).constData()), ui::kHandOverNotHandled);
    QTRY_COMPARE_WITH_TIMEOUT(huge.state(), QLocalSocket::UnconnectedState, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(slow.state(), QLocalSocket::UnconnectedState, 2000);
    QCOMPARE(slow.bytesAvailable(), qint64(0));

    const int before = OpenDescriptors();
    std::vector<std::unique_ptr<QLocalSocket>> idle;
    for (int i = 0; i < 40; ++i) {
      idle.push_back(std::make_unique<QLocalSocket>());
      idle.back()->connectToServer(address);
      QVERIFY(idle.back()->waitForConnected(1000));
    }
    QTest::qWait(100);
    // Our 40 ends, and on the receiver's side no more than it serves at once.
    QVERIFY(OpenDescriptors() <= before + 40 + ui::InstanceReceiver::kMaxClients);
    for (const auto& client : idle) QTRY_COMPARE_WITH_TIMEOUT(client->state(), QLocalSocket::UnconnectedState, 2000);
    idle.clear();
    QTRY_VERIFY(OpenDescriptors() <= before);

    QVERIFY(HandOverWhileServing(address, {"/pictures/a.png"}));
    QCOMPARE(received, (std::vector<std::string>{"/pictures/a.png"}));
  }

  // A socket file nobody listens on is taken over; a live instance's socket and a file that is
  // no socket are left as they are.
  void staleSocketIsTakenOverAndLiveOneIsNot() {
    QTemporaryDir dir;
    const QString stale = dir.path() + "/stale";
    MakeStaleSocket(stale.toStdString());
    {
      ui::InstanceReceiver receiver(stale);
      QVERIFY(receiver.Listening());
      receiver.SetHandler([](std::vector<std::string>) {});
      QVERIFY(HandOverWhileServing(stale, {"/a.png"}));

      ui::InstanceReceiver second(stale);
      QVERIFY(!second.Listening());
      QVERIFY(receiver.Listening());
      QVERIFY(HandOverWhileServing(stale, {"/a.png"}));
    }
    const QString file = dir.path() + "/file";
    std::ofstream(file.toStdString()) << "mine";
    ui::InstanceReceiver receiver(file);
    QVERIFY(!receiver.Listening());
    std::ifstream in(file.toStdString());
    std::string content;
    in >> content;
    QCOMPARE(content, std::string("mine"));
  }

  // Another user (root makes a child "nobody", in a folder both may enter) gets no answer from
  // the receiver, and a sender hands nothing to a socket of another user.
  void otherUsersAreRefusedOnBothSides() {
    if (::geteuid() != 0) QSKIP("needs root to act as another user");
    QTemporaryDir dir;
    ::chmod(dir.path().toLocal8Bit().constData(), 0755);
    const std::string shared = dir.path().toStdString() + "/shared";
    ::mkdir(shared.c_str(), 0777);
    ::chmod(shared.c_str(), 0777);

    const QString receiverAddress = QString::fromStdString(shared + "/receiver");
    ui::InstanceReceiver receiver(receiverAddress, 1000);
    ::chmod(receiverAddress.toLocal8Bit().constData(), 0777);
    bool handled = false;
    receiver.SetHandler([&](std::vector<std::string>) { handled = true; });
    const sockaddr_un address = AddressOf(receiverAddress.toStdString());
    const int answered = AsNobody([&] {
      const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
      if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return 2;
      const char16_t text[] = u"\"/x\" \"/etc/passwd\"";
      const uint32_t length = sizeof text - 2;
      if (::write(fd, &length, 4) != 4 || ::write(fd, text, length) != static_cast<ssize_t>(length)) return 3;
      char reply[4];
      pollfd wait{fd, POLLIN, 0};
      if (::poll(&wait, 1, 3000) != 1) return 4;
      return ::read(fd, reply, 4) > 0 ? 1 : 0;
    });
    QCOMPARE(answered, 0);
    QVERIFY(!handled);

    const std::string foreign = shared + "/foreign";
    const sockaddr_un foreignAddress = AddressOf(foreign);
    const pid_t listener = fork();
    if (listener == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(255);
      const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
      if (::bind(fd, reinterpret_cast<const sockaddr*>(&foreignAddress), sizeof foreignAddress) != 0 || ::listen(fd, 4) != 0) _exit(2);
      const int client = ::accept(fd, nullptr, nullptr);
      char byte;
      _exit(client >= 0 && ::read(client, &byte, 1) > 0 ? 1 : 0);
    }
    QTRY_VERIFY(fs::exists(foreign));
    QVERIFY(!ui::HandOverToRunningInstance(QString::fromStdString(foreign), {"/home/me/secret.png"}, 1000));
    int status = 0;
    QCOMPARE(::waitpid(listener, &status, 0), listener);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);  // it received nothing
  }

  // Real starts: a start on another display, with other settings or on another platform runs
  // on its own; one like the first hands over; after the first instance is killed, the next
  // start takes its socket over and the one after that hands over to it.
  void startsOnOtherDisplaysStayApartAndAKilledInstanceIsReplaced() {
    QTemporaryDir dir;
    const QString runtime = dir.path() + "/runtime";
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString picture = dir.path() + "/p.bmp";
    imaging::Image image;
    QVERIFY(imaging::CreateImage(4, 2, imaging::PixelFormat::A8R8G8B8, image));
    QVERIFY(engine::SaveImageFile(picture.toStdString(), image));
    const QString another = dir.path() + "/q.bmp";  // the list takes a file once
    QVERIFY(engine::SaveImageFile(another.toStdString(), image));
    const auto environment = [&](const QString& count) {
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.insert("QT_QPA_PLATFORM", "offscreen");
      env.insert("XDG_RUNTIME_DIR", runtime);
      env.insert("DISPLAY", ":71");
      env.insert("VEXILO_HOME", dir.path() + "/home");
      env.insert("VEXILO_COUNT_FILE", dir.path() + "/" + count);
      return env;
    };
    const auto rows = [&](const QString& count) {
      QFile f(dir.path() + "/" + count);
      return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toInt() : -1;
    };
    const auto start = [&](QProcess& process, const QProcessEnvironment& env, const QStringList& arguments) {
      process.setProcessEnvironment(env);
      process.start(VEXILO_PROGRAM, QStringList{"--no-splash"} + arguments);
      return process.waitForStarted();
    };

    QProcess first;
    QVERIFY(start(first, environment("first"), {}));
    QTRY_COMPARE_WITH_TIMEOUT(rows("first"), 0, 10000);
    struct Apart {
      const char* variable;
      const char* value;
    };
    for (const Apart& apart : {Apart{"DISPLAY", ":72"}, Apart{"VEXILO_HOME", "/nonexistent/other-home"}, Apart{"QT_QPA_PLATFORM", "minimal"}}) {
      QProcessEnvironment env = environment("own");
      env.insert(apart.variable, apart.value);
      QFile::remove(dir.path() + "/own");
      QProcess own;
      QVERIFY(start(own, env, {picture}));
      QTRY_COMPARE_WITH_TIMEOUT(rows("own"), 1, 10000);  // its own list took the file
      QVERIFY2(own.state() == QProcess::Running, apart.variable);
      own.terminate();
      QVERIFY(own.waitForFinished(5000));
    }
    QCOMPARE(rows("first"), 0);
    QProcess same;
    QVERIFY(start(same, environment("same"), {picture}));
    QVERIFY(same.waitForFinished(5000));
    QCOMPARE(same.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(rows("first"), 1, 10000);

    ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
    QVERIFY(first.waitForFinished(5000));
    QProcess second;
    QVERIFY(start(second, environment("second"), {picture}));
    QTRY_COMPARE_WITH_TIMEOUT(rows("second"), 1, 10000);
    QProcess third;
    QVERIFY(start(third, environment("third"), {another}));
    QVERIFY(third.waitForFinished(5000));
    QCOMPARE(third.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(rows("second"), 2, 10000);
    second.terminate();
    QVERIFY(second.waitForFinished(5000));
  }
};

QTEST_MAIN(HandOverTest)
#include "tst_handover.moc"
