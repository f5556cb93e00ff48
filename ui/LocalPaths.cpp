#include "ui/LocalPaths.h"

#include <QByteArray>
#include <QUrl>

namespace ui {

std::string LocalPathOf(const QUrl& url) {
  // Fully encoded, the path is ASCII: every byte beyond it stands as %XX.
  return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

}  // namespace ui
