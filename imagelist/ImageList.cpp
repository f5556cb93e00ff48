#include "imagelist/ImageList.h"

#include "base/Error.h"
#include "base/Paths.h"

#include <locale.h>
#include <sys/stat.h>
#include <wchar.h>
#include <wctype.h>

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "imagelist/FolderSearch.h"
#include "engine/ImageFiles.h"
#include "imaging/Imaging.h"
#include "imaging/ImagingPixelFormats.h"
#include "forms/NumberText.h"
#include "base/Text.h"
#include "forms/TsmFilterForm.h"

namespace imagelist {

namespace {

using forms::Language;

// The texts the list puts into the progress window and its counter label.
struct ListTexts {
  const char* searching;  // progress title while collecting
  const char* analyzing;  // progress title while adding
  const char* found;      // after a number
  const char* analyzed;   // after a number
  const char* added;      // after a number, while a drop is added
  const char* oneImage;   // counter suffix for one row
  const char* images;     // counter suffix otherwise
};
const ListTexts& Texts(Language language) {
  static const ListTexts english = {"Searching for Images", "Analyzing Images", " Images found", " Images analyzed",
                                    " Images added",        " Image",           " Images"};
  static const ListTexts german = {"Bilder werden gesucht", "Bilder werden analysiert", " Bilder gefunden",
                                   " Bilder analysiert",    " Bilder werden hinzugefügt", " Bild",
                                   " Bilder"};
  return language == Language::German ? german : english;
}



std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// The type cell and the icon key: the extension without dots, in upper case.
std::string TypeOf(const std::string& path) { return UpperAscii(base::ReplaceAll(base::ExtensionOf(path), ".", "")); }

// Text comparison without regard to case in the user's locale: both texts are folded to lower
// case and collated; without a usable locale, by code point.
locale_t UserLocale() {
  static const locale_t locale = [] {
    locale_t l = newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (l == static_cast<locale_t>(nullptr))
      l = newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return l;
  }();
  return locale;
}

std::wstring FoldCase(const std::string& text, locale_t locale) {
  std::wstring out;
  for (char32_t c : base::DecodeUtf8(text)) {
    wchar_t w = static_cast<wchar_t>(c);
    if (locale != static_cast<locale_t>(nullptr)) w = static_cast<wchar_t>(towlower_l(static_cast<wint_t>(w), locale));
    else if (w >= L'A' && w <= L'Z') w = static_cast<wchar_t>(w - L'A' + L'a');
    out += w;
  }
  return out;
}

int CompareTextNoCase(const std::string& a, const std::string& b) {
  const locale_t locale = UserLocale();
  const std::wstring x = FoldCase(a, locale), y = FoldCase(b, locale);
  const int result = locale != static_cast<locale_t>(nullptr) ? wcscoll_l(x.c_str(), y.c_str(), locale) : x.compare(y);
  if (result != 0) return result;
  return x.compare(y);  // texts the locale counts equal still have an order
}

int CompareNumbers(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }

}  // namespace

const std::string& ImageListEntry::Cell(int column) const {
  switch (column) {
    case 0: return name;
    case 1: return type;
    case 2: return width;
    case 3: return height;
    case 4: return size;
    default: return path;
  }
}

std::string SizeText(uint64_t bytes, const std::string& decimalSeparator) {
  char buffer[64];
  // Written without the C library's locale, which a toolkit may have changed.
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(bytes) / 1024.0, std::chars_format::fixed, 3);
  std::string text(buffer, result.ptr);
  const size_t point = text.find('.');
  if (point != std::string::npos) text.replace(point, 1, decimalSeparator);
  return text + " KB";
}

std::string CounterText(int count, Language language) {
  const ListTexts& t = Texts(language);
  return std::to_string(count) + (count == 1 ? t.oneImage : t.images);
}

std::vector<FilterEntry> OpenDialogFilter(Language language) {
  static const FilterEntry kGerman[] = {
      {"Alle lesbaren Dateien(*.bmp, *.dib, *.jpg, *.jpeg, *.jfif, *.jpe, *.jif, *.gif, *.png, *.mng, *.jng, *.ico, "
       "*.cur, *.tif, *.tiff, *.psd, *.pdd, *.pbm, *.pgm, *.ppm, *.pnm, *.pam, *.pfm, *.jp2, *.j2k, *.j2c, *.jpx, "
       "*.jpc, *.dds, *.tga, *.pcx, *.xpm)",
       "*.bmp;*.dib;*.jpg;*.jpeg;*.jfif;*.jpe;*.jif;*.gif;*.png;*.mng;*.jng;*.ico;*.cur;*.tif;*.tiff;*.psd;*.pdd;"
       "*.pbm;*.pgm;*.ppm;*.pnm;*.pam;*.pfm;*.jp2;*.j2k;*.j2c;*.jpx;*.jpc;*.dds;*.tga;*.pcx;*.xpm"},
      {"Windows Bitmap (*.bmp,*.dib)", "*.bmp;*.dib"},
      {"JPEG-Bilder (*.jpg,*.jpeg,*.jfif,*.jpe,*.jif)", "*.jpg;*.jpeg;*.jfif;*.jpe;*.jif"},
      {"Graphics Interchange Format (*.gif)", "*.gif"},
      {"Portable Network Graphics (*.png)", "*.png"},
      {"Multiple Network Graphics (*.mng)", "*.mng"},
      {"JPEG Network Graphics (*.jng)", "*.jng"},
      {"Windows Icon (*.ico)", "*.ico"},
      {"Windows Cursor (*.cur)", "*.cur"},
      {"Tagged Image File Format (*.tif,*.tiff)", "*.tif;*.tiff"},
      {"Photoshop Bilder (*.psd,*.pdd)", "*.psd;*.pdd"},
      {"Portable Bit Map (*.pbm)", "*.pbm"},
      {"Portable Gray Map (*.pgm)", "*.pgm"},
      {"Portable Pixel Map (*.ppm)", "*.ppm"},
      {"Portable Any Map (*.pnm)", "*.pnm"},
      {"Portable Arbitrary Map (*.pam)", "*.pam"},
      {"Portable Float Map (*.pfm)", "*.pfm"},
      {"JPEG 2000 (*.jp2,*.j2k,*.j2c,*.jpx,*.jpc)", "*.jp2;*.j2k;*.j2c;*.jpx;*.jpc"},
      {"DirectDraw Surface (*.dds)", "*.dds"},
      {"Truevision Targa Bilder (*.tga)", "*.tga"},
      {"ZSoft Paintbrush Bilder (*.pcx)", "*.pcx"},
      {"X Window Pixmap (*.xpm)", "*.xpm"},
  };
  std::vector<FilterEntry> entries(std::begin(kGerman), std::end(kGerman));
  if (language == Language::English) {
    for (FilterEntry& e : entries) {
      e.description = base::ReplaceAll(e.description, "Bilder", "Images");
      e.description = base::ReplaceAll(e.description, "Bild", "Image");
      e.description = base::ReplaceAll(e.description, "Alle lesbaren Dateien", "Any readable Files");
    }
  }
  return entries;
}

ImageList::ImageList(Language language, std::string decimalSeparator)
    : language_(language), decimalSeparator_(std::move(decimalSeparator)) {
  UpdateCounterLabel();
}

void ImageList::Changed() {
  if (rowsChanged) rowsChanged();
}

bool ImageList::add2list(const std::string& path, vexilo::UserDialogs& dialogs) {
  for (const ImageListEntry& row : rows_) {
    if (row.path == path) {
      dialogs.ReportUnlessSilenced("dateischoninliste", path);
      return false;
    }
  }
  const bool icon = vexilo::IsIconPath(path);
  ImageListEntry entry;
  try {
    if (!icon && imaging::DetectFileFormat(path).empty()) {
      struct stat info {};
      const bool empty = stat(path.c_str(), &info) == 0 && info.st_size == 0;
      Refuse(path, empty ? "The file is empty" : "No image format recognises the file's content", dialogs);
      return false;
    }
    imaging::Image held;
    const bool loaded = readImages_ && vexilo::LoadImageFile(path, held);
    // An icon is read by its own codec without a content test first, so a failure to read it
    // is the only sign that it is no icon.
    if (icon && readImages_ && !loaded) {
      Refuse(path, "The file holds no icon", dialogs);
      return false;
    }
    const std::string extension = base::ExtensionOf(path);
    entry.name = base::ReplaceAll(base::FileNameOf(path), extension, "");
    entry.icon = GetFileIconNumber(path);
    entry.type = TypeOf(path);
    entry.width = std::to_string(loaded ? held->Width : 0);
    entry.height = std::to_string(loaded ? held->Height : 0);
    uint64_t bytes = 0;
    if (icon && loaded) {
      bytes = static_cast<uint64_t>(held->Size);
    } else {
      struct stat info {};
      if (stat(path.c_str(), &info) != 0) throw base::Error("cannot read the size of " + path);
      bytes = static_cast<uint64_t>(info.st_size);
    }
    entry.size = SizeText(bytes, decimalSeparator_);
    entry.path = path;
  } catch (const std::exception& e) {
    Refuse(path, e.what(), dialogs);
    return false;
  }
  Insert(std::move(entry));
  return true;
}

void ImageList::Refuse(const std::string& path, const std::string& cause, vexilo::UserDialogs& dialogs) {
  const bool reported = dialogs.ReportUnlessSilenced("formatfehler", path, cause);
  if (fileRefused) fileRefused(path, cause, reported);
}

void ImageList::Insert(ImageListEntry entry) {
  const auto at = std::upper_bound(rows_.begin(), rows_.end(), entry,
                                   [this](const ImageListEntry& a, const ImageListEntry& b) { return Less(a, b); });
  rows_.insert(at, std::move(entry));
  Changed();
}

void ImageList::AddFiles(const std::vector<std::string>& paths, vexilo::UserDialogs& dialogs) {
  for (const std::string& path : paths) add2list(path, dialogs);
  UpdateCounterLabel();
}

void ImageList::AddOrdner(const std::string& folder, const forms::Form& smFilter, vexilo::UserDialogs& dialogs) {
  if (!base::IsFolder(folder)) return;
  const std::vector<std::string> extensions = forms::SearchExtensions(smFilter);
  const bool subfolders = smFilter.Checked("inp_uv");
  const ListTexts& t = Texts(language_);

  dialogs.Flags().showNoMore = true;
  dialogs.SetMainWindowEnabled(false);
  // Every way out leaves the window usable and the messages audible again.
  struct Restore {
    vexilo::UserDialogs& dialogs;
    ~Restore() {
      dialogs.HideProgress();
      dialogs.SetMainWindowEnabled(true);
      dialogs.FocusMainWindow();
      dialogs.Flags().showNoMore = false;
    }
  } restore{dialogs};

  dialogs.ShowProgress({t.searching, "0" + std::string(t.found), "0" + std::string(t.analyzed)}, 0);
  dialogs.ProcessEvents();
  std::vector<std::string> found;
  if (folder.find(".txt") == std::string::npos) found = CollectImageFiles(folder, extensions, subfolders);

  const int count = static_cast<int>(found.size());
  dialogs.ShowProgress({t.analyzing, std::to_string(count) + t.found, "0" + std::string(t.analyzed)}, count);
  dialogs.ProcessEvents();
  for (int c = 1; c <= count; ++c) {
    const std::string& path = found[static_cast<size_t>(c - 1)];
    if (base::IsFile(path)) add2list(path, dialogs);
    dialogs.SetProgressFileLine("", std::to_string(c) + t.analyzed);
    dialogs.SetProgressPosition(c);
    dialogs.ProcessEvents();
    if (dialogs.Flags().cancelProgress) {
      dialogs.Flags().cancelProgress = false;
      break;
    }
  }
  UpdateCounterLabel();
}

void ImageList::InpOrdnerEnter(const std::string& text, const forms::Form& smFilter, vexilo::UserDialogs& dialogs) {
  if (base::IsFolder(text)) AddOrdner(text, smFilter, dialogs);
  else dialogs.meldungzeigen("ordnerfalschopen", text);
}

void ImageList::AddDropped(const std::vector<std::string>& paths, const forms::Form& smFilter,
                           vexilo::UserDialogs& dialogs) {
  const ListTexts& t = Texts(language_);
  const int count = static_cast<int>(paths.size());
  dialogs.SetMainWindowEnabled(false);
  struct Restore {
    ImageList& list;
    vexilo::UserDialogs& dialogs;
    ~Restore() {
      list.UpdateCounterLabel();
      dialogs.HideProgress();
      dialogs.SetMainWindowEnabled(true);
      dialogs.FocusMainWindow();
      dialogs.Flags().showNoMore = false;
    }
  } restore{*this, dialogs};

  dialogs.ProcessEvents();
  dialogs.ShowProgress({t.analyzing, std::to_string(count) + t.added, "0" + std::string(t.analyzed)}, count);
  for (int i = 1; i <= count; ++i) {
    const std::string& path = paths[static_cast<size_t>(i - 1)];
    if (base::IsFolder(path)) {
      AddOrdner(path, smFilter, dialogs);
      // The search closed the progress window and enabled the window; the drop goes on.
      dialogs.SetMainWindowEnabled(false);
      dialogs.ShowProgress({t.analyzing, std::to_string(count) + t.added, std::to_string(i - 1) + t.analyzed}, count);
      dialogs.SetProgressPosition(i - 1);
    } else {
      add2list(path, dialogs);
    }
    dialogs.ProcessEvents();
    dialogs.SetProgressFileLine("", std::to_string(i) + t.analyzed);
    dialogs.SetProgressPosition(i);
    if (dialogs.Flags().cancelProgress) {
      dialogs.Flags().cancelProgress = false;
      break;
    }
  }
}

int ImageList::GetFileIconNumber(const std::string& path) {
  const std::string key = TypeOf(path);
  for (size_t i = 0; i < iconKeys_.size(); ++i)
    if (iconKeys_[i] && *iconKeys_[i] == key) return static_cast<int>(i);
  int index = iconProvider_ ? iconProvider_(path) : static_cast<int>(iconKeys_.size());
  if (index < 0) index = static_cast<int>(iconKeys_.size());
  if (static_cast<size_t>(index) >= iconKeys_.size()) iconKeys_.resize(static_cast<size_t>(index) + 1);
  iconKeys_[static_cast<size_t>(index)] = key;
  return index;
}

void ImageList::UpdateCounterLabel() { counterLabel_ = CounterText(RowCount(), language_); }

void ImageList::SetLanguage(Language language) {
  language_ = language;
  UpdateCounterLabel();
}

void ImageList::qulistColumnClick(int column) {
  if (column < 0 || column >= kColumnCount) return;
  sort_.column = column;
  sort_.descending = column == sort_.lastClicked ? !sort_.descending : false;
  sort_.lastClicked = column;
  std::stable_sort(rows_.begin(), rows_.end(),
                   [this](const ImageListEntry& a, const ImageListEntry& b) { return Less(a, b); });
  Changed();
}

int ImageList::qulistCompare(const ImageListEntry& first, const ImageListEntry& second) const {
  const ImageListEntry& a = sort_.descending ? second : first;
  const ImageListEntry& b = sort_.descending ? first : second;
  switch (sort_.column) {
    case 2:
    case 3: {
      const auto x = forms::ParseIntegerText(a.Cell(sort_.column));
      const auto y = forms::ParseIntegerText(b.Cell(sort_.column));
      return CompareNumbers(x.value_or(0), y.value_or(0));
    }
    case 4: {
      const auto number = [this](const std::string& cell) {
        return forms::ParseDecimalText(base::ReplaceAll(cell, " KB", ""), decimalSeparator_).value_or(0.0);
      };
      return CompareNumbers(number(a.size), number(b.size));
    }
    default: return CompareTextNoCase(a.Cell(sort_.column), b.Cell(sort_.column));
  }
}

void ImageList::SetSelected(int row, bool selected) {
  if (row < 0 || row >= RowCount()) return;
  rows_[static_cast<size_t>(row)].selected = selected;
}

void ImageList::SelectAll() {
  for (ImageListEntry& row : rows_) row.selected = true;
}

int ImageList::SelectedCount() const {
  return static_cast<int>(std::count_if(rows_.begin(), rows_.end(), [](const ImageListEntry& r) { return r.selected; }));
}

void ImageList::BitBtn3Click() {
  for (size_t i = rows_.size(); i-- > 0;)
    if (rows_[i].selected) rows_.erase(rows_.begin() + static_cast<long>(i));
  UpdateCounterLabel();
  Changed();
}

void ImageList::BitBtn2Click() {
  rows_.clear();
  UpdateCounterLabel();
  Changed();
}

std::optional<std::string> ImageList::FirstSelectedExistingFile() const {
  for (const ImageListEntry& row : rows_) {
    if (!row.selected) continue;
    if (base::IsFile(row.path)) return row.path;
    return std::nullopt;
  }
  return std::nullopt;
}

std::vector<std::string> ImageList::ClipboardFiles(const std::string& programFolder) const {
  std::vector<std::string> files;
  if (SelectedCount() == 1) {
    if (auto path = FirstSelectedExistingFile()) files.push_back(*path);
    return files;
  }
  for (const ImageListEntry& row : rows_) {
    if (!row.selected) continue;
    files.push_back(!row.path.empty() && row.path.front() == '/' ? row.path : programFolder + row.path);
  }
  return files;
}

}  // namespace imagelist
