// The desktop behind the list's pop-up menu: the file manager over D-Bus
// (org.freedesktop.FileManager1), the default application for folders, the clipboard.
#pragma once

#include "imagelist/ListServices.h"

namespace ui {

class DesktopServicesQt : public imagelist::DesktopServices {
public:
  bool CallFileManager(const std::string& method, const std::vector<std::string>& uris) override;
  void OpenUri(const std::string& uri) override;
  void SetClipboard(const std::vector<std::pair<std::string, std::string>>& formats) override;
};

}  // namespace ui
