#include "ui/SingleInstance.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QtEndian>

#include "base/Text.h"
#include "forms/CommandLine.h"

namespace ui {

namespace {

// Well above any command line: the kernel's usual limit for all arguments is 2 MiB, and a path
// made absolute grows by the working folder's length at most, twice over in UTF-16.
constexpr quint32 kMaxMessageBytes = 16u << 20;

QByteArray LittleEndian(quint32 value) {
  QByteArray bytes(4, '\0');
  qToLittleEndian(value, bytes.data());
  return bytes;
}

QString ProgramPath() {
  QString path = QCoreApplication::applicationFilePath();
  if (path.isEmpty()) path = QFileInfo("/proc/self/exe").symLinkTarget();
  return path;
}

// Whether the process at the other end of a connected local socket runs as this user.
bool PeerIsThisUser(qintptr descriptor) {
  ucred peer{};
  socklen_t length = sizeof peer;
  return descriptor >= 0 &&
         ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 &&
         length == sizeof peer && peer.uid == ::geteuid();
}

// A socket file nobody listens on any more: its instance ended without removing it (a
// SIGKILL, a crash). Only a socket is ever taken for stale, and only when the kernel refuses
// a connection to it; a busy instance still accepts connections into its backlog.
bool SocketIsStale(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  struct stat info {};
  if (::lstat(name.constData(), &info) != 0 || !S_ISSOCK(info.st_mode)) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (static_cast<size_t>(name.size()) >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
  const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (probe < 0) return false;
  const bool refused = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
                       errno == ECONNREFUSED;
  ::close(probe);
  return refused;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

std::string PrivateFolderProblem(const std::string& folder) {
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) return Quoted(folder) + " cannot be used: " + std::strerror(errno);
  if (S_ISLNK(info.st_mode)) return Quoted(folder) + " is a symbolic link";
  if (!S_ISDIR(info.st_mode)) return Quoted(folder) + " is not a folder";
  if (info.st_uid != ::geteuid())
    return Quoted(folder) + " belongs to another user (uid " + std::to_string(info.st_uid) + ")";
  if ((info.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    return Quoted(folder) + " may be entered by other users (mode " + mode + ")";
  }
  return {};
}

SocketFolder FindSocketFolder(const std::string& runtimeFolder, const std::string& temporaryBase) {
  std::string passedOver;
  if (!runtimeFolder.empty()) {
    const std::string problem = runtimeFolder.front() == '/' ? PrivateFolderProblem(runtimeFolder)
                                                               : Quoted(runtimeFolder) + " is not an absolute path";
    if (problem.empty()) return {runtimeFolder, {}};
    passedOver = "XDG_RUNTIME_DIR is not used: " + problem;
  }
  std::string base = temporaryBase;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  const std::string fallback = (base == "/" ? "" : base) + "/vexilo-" + std::to_string(::geteuid());
  std::string problem;
  if (::mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST)
    problem = "the folder " + Quoted(fallback) + " cannot be made: " + std::strerror(errno);
  else
    problem = PrivateFolderProblem(fallback);
  if (problem.empty()) return {fallback, passedOver};
  return {{}, passedOver.empty() ? problem : passedOver + "; " + problem};
}

QString CurrentDisplay() {
  const QString platform = QGuiApplication::platformName();
  if (platform.startsWith("wayland")) {
    const QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    return platform + ":" + (display.isEmpty() ? QString("wayland-0") : display);
  }
  return platform + ":" + qEnvironmentVariable("DISPLAY");
}

QString HandOverSocketName(const QString& programPath, const QString& display, const QString& settingsHome) {
  const QByteArray key = programPath.toUtf8() + '\n' + display.toUtf8() + '\n' + settingsHome.toUtf8();
  return "vexilo-" + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24));
}

HandOverAddress FindHandOverAddress() {
  const QByteArray temporary = qgetenv("TMPDIR");
  const SocketFolder found = FindSocketFolder(qgetenv("XDG_RUNTIME_DIR").toStdString(),
                                              temporary.startsWith('/') ? temporary.toStdString() : "/tmp");
  HandOverAddress address;
  address.problem = QString::fromStdString(found.problem);
  if (found.folder.empty()) {
    address.problem += "; this start runs as its own instance";
    return address;
  }
  QString home = qEnvironmentVariable("VEXILO_HOME");
  if (!home.isEmpty()) home = QFileInfo(home).absoluteFilePath();
  const QString path =
      QString::fromStdString(found.folder) + "/" + HandOverSocketName(ProgramPath(), CurrentDisplay(), home);
  if (static_cast<size_t>(QFile::encodeName(path).size()) >= sizeof(sockaddr_un::sun_path)) {
    address.problem = "the socket path \"" + path + "\" is longer than a local socket's name may be" +
                      "; this start runs as its own instance";
    return address;
  }
  address.path = path;
  return address;
}

bool HandOverToRunningInstance(const QString& address, const std::vector<std::string>& arguments, int timeoutMs) {
  if (arguments.empty() || address.isEmpty()) return false;
  std::vector<std::string> absolute;
  // A relative path would name another folder in the running instance. The paths stay bytes.
  std::error_code error;
  const std::filesystem::path here = std::filesystem::current_path(error);
  for (const std::string& a : arguments) {
    std::string path = (here / a).lexically_normal().string();
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    absolute.push_back(path);
  }
  const std::string text = forms::HandOverText(ProgramPath().toStdString(), absolute);
  if (text.empty()) return false;
  // Bytes of a name that are not valid UTF-8 travel as unpaired surrogates and come back whole.
  const std::u16string wide = base::Utf16FromBytes(text);
  QByteArray payload;
  payload.reserve(static_cast<qsizetype>(wide.size() * 2));
  for (const char16_t unit : wide) {
    payload += static_cast<char>(unit & 0xFF);
    payload += static_cast<char>(unit >> 8);
  }

  const QDeadlineTimer deadline(timeoutMs);
  QLocalSocket socket;
  socket.connectToServer(address);
  if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) return false;
  // The paths go to no other user's process, whatever listens at the address.
  if (!PeerIsThisUser(socket.socketDescriptor())) return false;
  socket.write(LittleEndian(static_cast<quint32>(payload.size())) + payload);
  if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) return false;
  QByteArray reply;
  while (reply.size() < 4) {
    if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1))))
      return false;
    reply += socket.read(4 - reply.size());
    if (deadline.hasExpired() && reply.size() < 4) return false;
  }
  return qFromLittleEndian<quint32>(reply.constData()) == kHandOverHandled;
}

InstanceReceiver::InstanceReceiver(const QString& address, int clientTimeoutMs, QObject* parent)
    : QObject(parent), server_(new QLocalServer(this)), clientTimeoutMs_(clientTimeoutMs) {
  if (address.isEmpty()) return;
  // The folder keeps other users out; the socket is bound at its name directly, so that a name
  // in use is seen as such and never replaced.
  server_->setSocketOptions(QLocalServer::NoOptions);
  if (!server_->listen(address) && server_->serverError() == QAbstractSocket::AddressInUseError &&
      SocketIsStale(address)) {
    ::unlink(QFile::encodeName(address).constData());
    server_->listen(address);
  }
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) Accept(socket);
  });
}

InstanceReceiver::~InstanceReceiver() { server_->close(); }

bool InstanceReceiver::Listening() const { return server_->isListening(); }

void InstanceReceiver::Accept(QLocalSocket* socket) {
  if (clients_ >= kMaxClients || !PeerIsThisUser(socket->socketDescriptor())) {
    socket->abort();
    socket->deleteLater();
    return;
  }
  ++clients_;
  connect(socket, &QObject::destroyed, this, [this] { --clients_; });
  // Qt reads no further than the largest message, however much a client sends.
  socket->setReadBufferSize(4 + static_cast<qint64>(kMaxMessageBytes));
  connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
  connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
  QTimer::singleShot(clientTimeoutMs_, socket, [socket] {
    socket->abort();
    socket->deleteLater();
  });
  Read(socket);
}

void InstanceReceiver::Read(QLocalSocket* socket) {
  if (socket->property("answered").toBool() || socket->bytesAvailable() < 4) return;
  const auto answer = [socket](quint32 value) {
    socket->setProperty("answered", true);
    socket->write(LittleEndian(value));
    socket->flush();
    socket->disconnectFromServer();
  };
  quint32 length = 0;
  socket->peek(reinterpret_cast<char*>(&length), 4);
  length = qFromLittleEndian(length);
  if (length > kMaxMessageBytes || length % 2 != 0) return answer(kHandOverNotHandled);
  if (socket->bytesAvailable() < 4 + static_cast<qint64>(length)) return;
  socket->read(4);
  const QByteArray bytes = socket->read(length);
  if (!handler_) return answer(kHandOverNotHandled);
  std::u16string text(length / 2, u'\0');
  for (quint32 i = 0; i < length / 2; ++i) text[i] = qFromLittleEndian<quint16>(bytes.constData() + 2 * i);
  // Answered before the items are added: a long folder search must not keep the sender waiting.
  answer(kHandOverHandled);
  handler_(forms::ReceivedPaths(base::BytesFromUtf16(text)));
}

}  // namespace ui
