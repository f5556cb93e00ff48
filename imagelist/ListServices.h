// The desktop services behind the list's pop-up menu: show the file in the file manager, show
// its properties, copy the selected files to the clipboard. The desktop is reached through
// DesktopServices, which the window implements with D-Bus and the clipboard and tests replace
// with a recorder.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "imagelist/List.h"

namespace imagelist {

class DesktopServices {
public:
  virtual ~DesktopServices() = default;
  // A method of org.freedesktop.FileManager1 ("ShowItems", "ShowItemProperties") with the URIs
  // and an empty start-up id; false when no file manager answered.
  virtual bool CallFileManager(const std::string& method, const std::vector<std::string>& uris) = 0;
  // Opens a folder (its URI) with the desktop's default application.
  virtual void OpenUri(const std::string& uri) = 0;
  // Replaces the clipboard's content: (MIME type, data) pairs.
  virtual void SetClipboard(const std::vector<std::pair<std::string, std::string>>& formats) = 0;
};

// file:// URI of an absolute path, with every byte outside the unreserved set and "/"
// percent-encoded.
std::string FileUri(const std::string& path);

// The clipboard formats of a file list that file managers paste as files: "text/uri-list"
// (URIs, each line ended by CR LF) and "x-special/gnome-copied-files" ("copy" and one URI per
// line), and plain text with the paths for other programs.
std::vector<std::pair<std::string, std::string>> ClipboardFormats(const std::vector<std::string>& paths);

// "Open corresponding Folder": the first selected row's file, shown in its folder; when no file manager answers, the
// folder is opened. Nothing when no selected file exists.
void OpenContainingFolder(const ImageList& list, DesktopServices& desktop);
// "Show File Information": the properties of the first selected row's file; when no file manager answers, its
// folder is opened.
void ShowFileInformation(const ImageList& list, DesktopServices& desktop);
// "Copy to Clipboard": ImageList::ClipboardFiles on the clipboard; nothing is put there when the list is empty.
void CopySelectedToClipboard(const ImageList& list, const std::string& programFolder, DesktopServices& desktop);

}  // namespace imagelist
