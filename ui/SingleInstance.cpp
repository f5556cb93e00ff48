#include "ui/SingleInstance.h"

#include <unistd.h>

#include <filesystem>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QtEndian>

#include "base/Text.h"
#include "forms/CommandLine.h"

namespace ui {

namespace {

// A command line longer than this is not a command line.
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

}  // namespace

QString InstanceName() {
  const QByteArray key = ProgramPath().toUtf8() + '\n' + QByteArray::number(static_cast<qulonglong>(::getuid()));
  return "vexilo-" + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24));
}

bool HandOverToRunningInstance(const std::vector<std::string>& arguments, int timeoutMs) {
  if (arguments.empty()) return false;
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
  socket.connectToServer(InstanceName());
  if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) return false;
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

InstanceReceiver::InstanceReceiver(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  const QString name = InstanceName();
  if (!server_->listen(name) && server_->serverError() == QAbstractSocket::AddressInUseError) {
    // A socket file left by an instance that ended without cleaning up: nobody answers on it.
    QLocalSocket probe;
    probe.connectToServer(name);
    if (!probe.waitForConnected(500)) {
      QLocalServer::removeServer(name);
      server_->listen(name);
    }
  }
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
      Read(socket);
    }
  });
}

InstanceReceiver::~InstanceReceiver() { server_->close(); }

bool InstanceReceiver::Listening() const { return server_->isListening(); }

void InstanceReceiver::Read(QLocalSocket* socket) {
  if (socket->property("answered").toBool() || socket->bytesAvailable() < 4) return;
  quint32 length = 0;
  socket->peek(reinterpret_cast<char*>(&length), 4);
  length = qFromLittleEndian(length);
  if (length > kMaxMessageBytes || length % 2 != 0) {
    socket->setProperty("answered", true);
    socket->write(LittleEndian(kHandOverNotHandled));
    socket->disconnectFromServer();
    return;
  }
  if (socket->bytesAvailable() < 4 + static_cast<qint64>(length)) return;
  socket->read(4);
  const QByteArray bytes = socket->read(length);
  socket->setProperty("answered", true);
  if (!handler_) {
    socket->write(LittleEndian(kHandOverNotHandled));
    socket->flush();
    return;
  }
  std::u16string text(length / 2, u'\0');
  for (quint32 i = 0; i < length / 2; ++i) text[i] = qFromLittleEndian<quint16>(bytes.constData() + 2 * i);
  // Answered before the items are added: a long folder search must not keep the sender waiting.
  socket->write(LittleEndian(kHandOverHandled));
  socket->flush();
  handler_(forms::ReceivedPaths(base::BytesFromUtf16(text)));
}

}  // namespace ui
