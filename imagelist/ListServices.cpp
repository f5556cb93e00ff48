#include "imagelist/ListServices.h"

#include "base/Text.h"

namespace imagelist {

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("/") : path.substr(0, slash + 1);
}

void CallOrOpenFolder(const char* method, const ImageList& list, DesktopServices& desktop) {
  const auto file = list.FirstSelectedExistingFile();
  if (!file) return;
  if (!desktop.CallFileManager(method, {FileUri(*file)})) desktop.OpenUri(FileUri(FolderOf(*file)));
}

}  // namespace

std::string FileUri(const std::string& path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (const unsigned char c : path) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += hex[c >> 4];
      uri += hex[c & 15];
    }
  }
  return uri;
}

std::vector<std::pair<std::string, std::string>> ClipboardFormats(const std::vector<std::string>& paths) {
  std::string uriList, gnome = "copy", text;
  for (const std::string& path : paths) {
    const std::string uri = FileUri(path);
    uriList += uri + "\r\n";
    gnome += "\n" + uri;
    text += (text.empty() ? "" : "\n") + path;
  }
  return {{"text/uri-list", uriList}, {"x-special/gnome-copied-files", gnome}, {"text/plain", text}};
}

void OpenContainingFolder(const ImageList& list, DesktopServices& desktop) { CallOrOpenFolder("ShowItems", list, desktop); }

void ShowFileInformation(const ImageList& list, DesktopServices& desktop) {
  CallOrOpenFolder("ShowItemProperties", list, desktop);
}

void CopySelectedToClipboard(const ImageList& list, const std::string& programFolder, DesktopServices& desktop) {
  const std::vector<std::string> files = list.ClipboardFiles(programFolder);
  if (!files.empty()) desktop.SetClipboard(ClipboardFormats(files));
}

}  // namespace imagelist
