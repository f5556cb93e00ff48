// One running program per program file, display and settings folder: a second start hands its
// command line to the running one over a local socket and ends when the running one answers
// "handled"; a start without arguments, or one that gets no answer in time, runs on its own.
//
// The socket lives in a folder only this user may enter: $XDG_RUNTIME_DIR, or when that is
// unset (or fails the check) <temporary folder>/vexilo-<uid>, made with mode 0700. A folder is
// used only when it is a real folder (no symbolic link) of this user that no other user may
// enter; otherwise the start runs as its own instance and says why. Its name is a hash of the
// program file's path, the display the windows go to and VEXILO_HOME, so a start on another
// display opens its own window and test instances with their own settings stay apart. Both
// sides check the other's user (SO_PEERCRED): the receiver answers only its own user, the
// sender hands over only to its own user.
//
// The message: four bytes with the length of the text in bytes (little endian), then the whole
// command line as UTF-16LE text, each part in double quotation marks. The answer: four bytes,
// kHandOverHandled or kHandOverNotHandled (little endian). The receiver drops a client that has
// not sent its whole message within the time limit, one that announces more than a command
// line can be, and every client beyond a few at once, so that no client can hold it or use up
// its file descriptors.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace ui {

constexpr quint32 kHandOverHandled = 0xDA860081u;
constexpr quint32 kHandOverNotHandled = 0xDA860080u;
// How long a sender waits for its answer, and a receiver for a client's whole message.
constexpr int kHandOverTimeoutMs = 3000;

// Why `folder` may not hold the socket: it is missing, a symbolic link, no folder, another
// user's, or open to other users (any of the group and other mode bits). Empty when it is fit.
std::string PrivateFolderProblem(const std::string& folder);

// The folder for the socket, from the runtime folder ($XDG_RUNTIME_DIR; empty when unset) and
// the base of the fallback (the temporary folder). `folder` is empty when neither can be used;
// `problem` then says why, and it also says why a runtime folder that was set was passed over.
struct SocketFolder {
  std::string folder;
  std::string problem;
};
SocketFolder FindSocketFolder(const std::string& runtimeFolder, const std::string& temporaryBase);

// The display this start's windows go to: the platform plugin and the display it connects to
// (WAYLAND_DISPLAY for Wayland, else DISPLAY). Call after the application object exists.
QString CurrentDisplay();

// Where this start hands over and listens: the socket's full path from the environment
// ($XDG_RUNTIME_DIR, $TMPDIR or /tmp, $VEXILO_HOME) and the display; empty with `problem` set
// when no private folder can hold it (the start then runs on its own).
struct HandOverAddress {
  QString path;
  QString problem;
};
HandOverAddress FindHandOverAddress();

// The socket's file name in its folder: "vexilo-" and a hash of the three parts.
QString HandOverSocketName(const QString& programPath, const QString& display, const QString& settingsHome);

// The sender side: hands the arguments (made absolute) to the instance listening at `address`.
// True when it answered "handled" within the time limit; the caller then ends. Never true
// without arguments, or when the socket belongs to another user.
// The arguments are bytes as the command line gave them; bytes that are not valid UTF-8 travel
// as unpaired surrogates U+DC80 to U+DCFF (base::Utf16FromBytes), so that every file name
// arrives as it is.
bool HandOverToRunningInstance(const QString& address, const std::vector<std::string>& arguments,
                               int timeoutMs = kHandOverTimeoutMs);

// The receiver side: listens at `address`, taking over a socket file that no process listens
// on any more (one whose instance was killed), and answers every hand-over of its own user.
// Without a handler it answers "not handled"; with one it passes the received paths (the quoted
// items after the program path) and answers "handled" at once.
class InstanceReceiver : public QObject {
public:
  // How many clients are served at once; a further one is closed at once.
  static constexpr int kMaxClients = 8;

  explicit InstanceReceiver(const QString& address, int clientTimeoutMs = kHandOverTimeoutMs,
                            QObject* parent = nullptr);
  ~InstanceReceiver() override;
  // Whether this instance owns the address (another running instance may own it).
  bool Listening() const;
  void SetHandler(std::function<void(std::vector<std::string>)> handler) { handler_ = std::move(handler); }

private:
  void Accept(QLocalSocket* socket);
  void Read(QLocalSocket* socket);
  QLocalServer* server_;
  int clientTimeoutMs_;
  int clients_ = 0;
  std::function<void(std::vector<std::string>)> handler_;
};

}  // namespace ui
