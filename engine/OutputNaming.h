// Where each output goes and what it is called: the folder pattern, the name pattern with its
// placeholders, the output type, the creation of missing folders and the folder rule the run
// checks before it starts. Paths are POSIX paths ("/" separates folders).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace engine {

// The path up to and including its last "/" (empty without one).
std::string PathFolder(const std::string& path);
// The part after the last "/".
std::string PathFileName(const std::string& path);
// From the last "." to the end, provided no "/" follows it; keeps the dot and the case.
std::string PathExtension(const std::string& path);

// The digits of the decimal text of the run's row count: the padding of "%0num%".
int PaddingWidth(int rowCount);

// What naming one image needs.
struct NamingInput {
  std::string sourcePath;  // P
  int index = 0;           // i, 0-based
  int padding = 1;         // D
  int rowCount = 0;        // M, the list's current row count ("%abs%")
  int32_t width = 0;       // W and H of the loaded image, before scaling
  int32_t height = 0;
  std::string folderPattern;  // out_ordner
  std::string namePattern;    // out_name
  std::string formatItem;     // out_format
};

// The folder of the output, ending in "/": the keep entry gives P's folder; the folder
// placeholder of every language ("%ordner%", "%folder%") is replaced by it; "//" collapses to "/"
// from the left.
std::string OutputFolder(const NamingInput& in);
// The name without extension: the keep entry gives P's file name with every occurrence of its
// extension removed; otherwise the pattern with "%name%", and then (if a "%" is left) "%num%",
// "%0num%", "%abs%" and the size placeholders of every language replaced in this order (the
// default language's last: "%breite%", "%höhe%", "%width%", "%height%").
std::string OutputName(const NamingInput& in);
// The extension (with its dot) the output type item gives: P's own for the keep entry, else the
// text before the first " - " with every "*" removed, when that begins with "."; else empty.
std::string OutputExtension(const std::string& formatItem, const std::string& sourcePath);
// Folder + name + extension, without touching the file system. The run creates the folder
// (CreateFolderPath) only when it writes into it.
std::string ComposeOutputPath(const NamingInput& in);

// Creates the folder and every missing parent. Nothing when the folder is there (or was made);
// else the sentence of the failure, with the system's cause ("Cannot create the folder
// \"/a/b\": Permission denied").
std::optional<std::string> CreateFolderPath(const std::string& folder);

// The start check of a name pattern: the name may make subfolders of the output folder
// ("small/%name%"), but it must not lead out of it: a pattern that begins with "/" or has a
// ".." part between its "/" is refused.
bool IsAcceptableNamePattern(const std::string& pattern);
// The same for the name and extension of one file, placeholders replaced: false when a part of
// them is "..", which "%name%" gives for a source named "...png" and an output type of a
// configuration could hold too.
bool StaysInOutputFolder(const NamingInput& in);

// The folder rule of the start checks: "/" alone, or an absolute path whose last part (after
// removing one trailing "/") is not empty and holds none of : ? / > | \ < * and the double quote.
bool IsAcceptableFolderPath(const std::string& text);

}  // namespace engine
