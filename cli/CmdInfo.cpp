// vexilo-cli info and transcode: the image library and the program's image-file functions
// seen from the command line.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "cli/Commands.h"
#include "engine/ImageFiles.h"
#include "imaging/Codec.h"
#include "imaging/Headers.h"

namespace cli {

namespace {

const char* const kInfoUsage =
    "Usage: vexilo-cli info FILE...\n"
    "\n"
    "Prints for each file one line: the file, its detected format (the format's default\n"
    "extension, \"ico\" or \"cur\" for icons, or \"unsupported\"), the width and height and the\n"
    "pixel format of its first image, and for an animation or a multi-page file the number\n"
    "of its frames or pages (\"12 frames\", \"3 pages\"). Exit status 0 when every file could\n"
    "be read.\n";

const char* const kTranscodeUsage =
    "Usage: vexilo-cli transcode IN OUT\n"
    "\n"
    "Loads the first image of IN and saves it as OUT in the format of OUT's extension.\n";

void PrintError(const std::string& text) {
  std::string line = text;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
  std::fprintf(stderr, "vexilo-cli: %s\n", line.c_str());
}

// An error of the image library about one file; the icon module's texts do not name it.
void PrintFileError(const std::string& path, const std::exception& error) {
  PrintError("\"" + path + "\": " + error.what());
}

bool IsHelp(const Args& args) { return !args.empty() && (args[0] == "--help" || args[0] == "-h"); }

bool IsReadableFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

// " 12 frames" or " 3 pages" after the line of a file of several; nothing for one picture.
std::string FramesText(int32_t frames, const std::string& format) {
  if (frames <= 1) return std::string();
  const std::string count =
      frames > imaging::kMaxFrames ? "more than " + std::to_string(imaging::kMaxFrames) : std::to_string(frames);
  return " " + count + (format == "tif" ? " pages" : " frames");
}

// Prints the line of one file; false when it could not be read. The size and format come from
// the file's header; formats without a header reader are decoded.
bool DescribeFile(const std::string& path) {
  std::string format;
  const bool icon = engine::IsIconPath(path);
  if (icon) {
    const std::string ext = path.substr(path.rfind('.') + 1);
    format = ext.size() == 3 && (ext[0] == 'c' || ext[0] == 'C') ? "cur" : "ico";
  } else {
    format = imaging::DetectFileFormat(path);
    if (format.empty() || !imaging::FindFormatByExtension(format)) {
      std::printf("%s: unsupported\n", path.c_str());
      return false;
    }
  }
  imaging::ImageHeader header;
  if (imaging::ReadImageHeader(path, format, imaging::CurrentOptions(), header)) {
    std::printf("%s: %s %dx%d %s%s\n", path.c_str(), format.c_str(), header.Width, header.Height,
                imaging::GetFormatName(header.Format).c_str(), FramesText(header.Frames, format).c_str());
    return true;
  }
  std::vector<imaging::Image> images;
  if (!imaging::FindFormatByExtension(format)->LoadFromFile(path, images, true) || images.empty()) {
    PrintError("\"" + path + "\": no image could be read from the file");
    return false;
  }
  std::printf("%s: %s %dx%d %s\n", path.c_str(), format.c_str(), images[0].Width(), images[0].Height(),
              imaging::GetFormatName(images[0].Format()).c_str());
  return true;
}

}  // namespace

int RunInfo(const Args& args) {
  if (IsHelp(args)) {
    std::fputs(kInfoUsage, stdout);
    return 0;
  }
  if (args.empty()) {
    std::fputs(kInfoUsage, stderr);
    return 2;
  }
  int status = 0;
  for (const std::string& path : args) {
    if (!IsReadableFile(path)) {
      PrintError("\"" + path + "\": no such file");
      status = 1;
      continue;
    }
    try {
      if (!DescribeFile(path)) status = 1;
    } catch (const std::exception& e) {
      PrintFileError(path, e);
      status = 1;
    }
  }
  std::fflush(stdout);
  return status;
}

int RunTranscode(const Args& args) {
  if (IsHelp(args)) {
    std::fputs(kTranscodeUsage, stdout);
    return 0;
  }
  if (args.size() != 2) {
    std::fputs(kTranscodeUsage, stderr);
    return 2;
  }
  const std::string& in = args[0];
  const std::string& out = args[1];
  if (!IsReadableFile(in)) {
    PrintError("\"" + in + "\": no such file");
    return 1;
  }
  imaging::Image image;
  try {
    if (!engine::LoadImageFile(in, image)) {
      PrintError("\"" + in + "\": the file's type is not supported or it holds no image");
      return 1;
    }
  } catch (const std::exception& e) {
    PrintFileError(in, e);
    return 1;
  }
  bool saved = false;
  try {
    saved = engine::SaveImageFile(out, image);
  } catch (const std::exception& e) {
    image.Reset();
    PrintFileError(out, e);
    return 1;
  }
  image.Reset();
  if (!saved) {
    PrintError("\"" + out + "\": no image format that can be written has this file's extension");
    return 1;
  }
  return 0;
}

}  // namespace cli
