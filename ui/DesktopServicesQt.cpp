#include "ui/DesktopServicesQt.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

namespace ui {

bool DesktopServicesQt::CallFileManager(const std::string& method, const std::vector<std::string>& uris) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  QStringList list;
  for (const std::string& uri : uris) list << QString::fromStdString(uri);
  QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                     "org.freedesktop.FileManager1", QString::fromStdString(method));
  call << list << QString();
  const QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
  return reply.type() == QDBusMessage::ReplyMessage;
}

void DesktopServicesQt::OpenUri(const std::string& uri) {
  QDesktopServices::openUrl(QUrl(QString::fromStdString(uri), QUrl::StrictMode));
}

void DesktopServicesQt::SetClipboard(const std::vector<std::pair<std::string, std::string>>& formats) {
  auto* data = new QMimeData;
  for (const auto& [type, content] : formats) data->setData(QString::fromStdString(type), QByteArray::fromStdString(content));
  QGuiApplication::clipboard()->setMimeData(data);
}

}  // namespace ui
