#include "imagelist/List.h"

#include "base/Error.h"
#include "base/Paths.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <numeric>
#include <stdexcept>
#include <unordered_map>

#include "imagelist/FolderSearch.h"
#include "imagelist/HeaderPool.h"
#include "engine/ImageFiles.h"
#include "engine/OutputNaming.h"
#include "imaging/Codec.h"
#include "imaging/Headers.h"
#include "imaging/PixelFormats.h"
#include "forms/NumberText.h"
#include "base/Text.h"
#include "forms/MessageKeys.h"
#include "forms/Texts.h"
#include "forms/ControlNames.h"
#include "forms/FolderFilterForm.h"

namespace imagelist {

namespace {

using forms::Language;

// The texts the list puts into the progress window and its counter label (text slots of the
// main window).
struct ListTexts {
  const char* searching;  // progress title while collecting
  const char* analyzing;  // progress title while adding
  const char* found;      // after a number
  const char* analyzed;   // after a number
  const char* added;      // after a number, while a drop is added
  const char* oneImage;   // counter suffix for one row
  const char* images;     // counter suffix otherwise
};
ListTexts Texts(Language language) {
  const auto text = [language](const char* key) {
    const char* found = forms::FindText(language, forms::TextGroup::MainWindow, key);
    return found != nullptr ? found : "";
  };
  return {text("searching"), text("analyzing"), text("found"),    text("analyzed"),
          text("added"),     text("count_one"), text("count_many")};
}

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// The type cell and the icon key: the extension without dots, in upper case.
std::string TypeOf(const std::string& path) { return UpperAscii(base::ReplaceAll(base::ExtensionOf(path), ".", "")); }


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

std::string DuplicateKey(const std::string& path) {
  char real[PATH_MAX];
  return ::realpath(path.c_str(), real) != nullptr ? std::string(real) : path;
}

std::string SizeText(uint64_t bytes, const std::string& decimalSeparator) {
  return base::KilobyteText(bytes, decimalSeparator);
}

std::string CounterText(int count, Language language) {
  const ListTexts t = Texts(language);
  return std::to_string(count) + (count == 1 ? t.oneImage : t.images);
}

std::vector<FilterEntry> OpenDialogFilter(Language language) {
  static const FilterEntry kGerman[] = {
      {"Alle lesbaren Dateien(*.bmp, *.dib, *.jpg, *.jpeg, *.jfif, *.jpe, *.jif, *.gif, *.png, *.mng, *.jng, *.ico, "
       "*.cur, *.tif, *.tiff, *.psd, *.pdd, *.pbm, *.pgm, *.ppm, *.pnm, *.pam, *.pfm, *.jp2, *.j2k, *.j2c, *.jpx, "
       "*.jpc, *.dds, *.tga, *.pcx, *.xpm, *.webp, *.avif, *.heic, *.heif, *.jxl)",
       "*.bmp;*.dib;*.jpg;*.jpeg;*.jfif;*.jpe;*.jif;*.gif;*.png;*.mng;*.jng;*.ico;*.cur;*.tif;*.tiff;*.psd;*.pdd;"
       "*.pbm;*.pgm;*.ppm;*.pnm;*.pam;*.pfm;*.jp2;*.j2k;*.j2c;*.jpx;*.jpc;*.dds;*.tga;*.pcx;*.xpm;*.webp;*.avif;*.heic;"
       "*.heif;*.jxl"},
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
      {"WebP Bilder (*.webp)", "*.webp"},
      {"AV1 Image File Format (*.avif)", "*.avif"},
      {"High Efficiency Image File Format (*.heic,*.heif)", "*.heic;*.heif"},
      {"JPEG XL (*.jxl)", "*.jxl"},
  };
  // The descriptions are German; the language's own words replace the German ones.
  std::vector<FilterEntry> entries(std::begin(kGerman), std::end(kGerman));
  for (FilterEntry& e : entries)
    for (const char* key : {"images", "image", "readable"}) e.description = forms::ConvertSpecial(e.description, key, language);
  return entries;
}

ImageList::ImageList(Language language, std::string decimalSeparator)
    : language_(language), decimalSeparator_(std::move(decimalSeparator)) {
  UpdateCounterLabel();
}

void ImageList::Changed() {
  if (bulkDepth_ > 0) changedInBulk_ = true;
  else if (rowsChanged) rowsChanged();
}

void ImageList::EndBulkUpdate() {
  if (bulkDepth_ == 0 || --bulkDepth_ > 0) return;
  PlaceArrived();
  if (changedInBulk_) {
    changedInBulk_ = false;
    Changed();
  }
}

namespace {

// Ends a bulk update on every way out.
struct BulkUpdate {
  explicit BulkUpdate(ImageList& list) : list(list) { list.BeginBulkUpdate(); }
  ~BulkUpdate() { list.EndBulkUpdate(); }
  BulkUpdate(const BulkUpdate&) = delete;
  BulkUpdate& operator=(const BulkUpdate&) = delete;
  ImageList& list;
};

}  // namespace

ImageList::~ImageList() = default;

HeaderPool& ImageList::Pool() {
  if (!pool_) {
    // Two readers keep a disk busy; more only wait for it.
    pool_ = std::make_unique<HeaderPool>(2);
    pool_->resultReady = headerReady_;
  }
  return *pool_;
}

void ImageList::SetHeaderReadyCallback(std::function<void()> ready) {
  headerReady_ = std::move(ready);
  if (pool_) pool_->resultReady = headerReady_;
}

int ImageList::PendingHeaders() const { return pool_ ? pool_->Outstanding() : 0; }

bool ImageList::Holds(const std::string& path) const { return listed_.count(DuplicateKey(path)) > 0; }

bool ImageList::AddFile(const std::string& path, engine::UserDialogs& dialogs) {
  std::string key = DuplicateKey(path);
  if (listed_.count(key) > 0) {
    dialogs.ReportUnlessSilenced(forms::msg::kAlreadyInList, path);
    return false;
  }
  const bool icon = engine::IsIconPath(path);
  ImageListEntry entry;
  HeaderJob job;
  try {
    // Only a regular file is opened: a named pipe would block the reader, a device never end.
    const base::FileKind kind = base::KindOf(path);
    if (!kind.Regular()) {
      Refuse(path, kind.Problem(path), dialogs);
      return false;
    }
    std::string format = "ico";
    if (!icon) {
      format = imaging::DetectFileFormat(path);
      if (format.empty()) {
        struct stat info {};
        const bool empty = stat(path.c_str(), &info) == 0 && info.st_size == 0;
        Refuse(path, empty ? "The file is empty" : "No image format recognises the file's content", dialogs);
        return false;
      }
    }
    const std::string extension = base::ExtensionOf(path);
    entry.name = base::ReplaceAll(base::FileNameOf(path), extension, "");
    entry.type = TypeOf(path);
    entry.path = path;
    entry.realPath = key;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) throw base::Error("cannot read the size of " + path);
    entry.size = SizeText(static_cast<uint64_t>(info.st_size), decimalSeparator_);
    if (!readImages_) {
      entry.width = entry.height = "0";
    } else if (!background_ || !imaging::CanReadImageHeader(format)) {
      ReadNow(entry, icon, format);
    } else {
      entry.pending = true;
      entry.headerRead = ++nextSerial_;
      job = HeaderJob{entry.headerRead, path, format, imaging::CurrentOptions(), dialogs.Flags().showNoMore};
    }
    entry.icon = IconIndex(path);
  } catch (const std::exception& e) {
    Refuse(path, e.what(), dialogs);
    return false;
  }
  listed_.insert(std::move(key));
  if (bulkDepth_ > 0) {
    arrived_.push_back(std::move(entry));
    if (rowAdded) rowAdded(path);
    changedInBulk_ = true;
  } else {
    Insert(std::move(entry));
  }
  if (job.serial != 0) Pool().Submit(std::move(job));
  return true;
}

void ImageList::Fill(ImageListEntry& entry, int32_t width, int32_t height, bool icon, int32_t orientation,
                     int32_t frames) {
  entry.frames = frames;
  entry.width = std::to_string(width);
  entry.height = std::to_string(height);
  entry.orientation = orientation;
  // An icon's size cell is its drawn picture, 4 bytes a pixel.
  if (icon) entry.size = SizeText(static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4, decimalSeparator_);
  entry.pending = false;
}

// Reads the size on this thread: from the header, or for formats without a header reader by
// decoding the file (a file that decodes to no image gives 0 x 0). Raises when the file
// cannot be read.
void ImageList::ReadNow(ImageListEntry& entry, bool icon, const std::string& format) {
  imaging::ImageHeader header;
  if (imaging::ReadImageHeader(entry.path, format, imaging::CurrentOptions(), header)) {
    Fill(entry, header.Width, header.Height, icon, header.Orientation, header.Frames);
    return;
  }
  imaging::Image held;
  const bool loaded = engine::LoadImageFile(entry.path, held);
  Fill(entry, loaded ? held.Width() : 0, loaded ? held.Height() : 0, false);
}

std::string ImageList::Settle(ImageListEntry& entry, const HeaderResult& result) {
  const bool icon = engine::IsIconPath(entry.path);
  std::string cause = result.cause;
  try {
    if (result.read)
      Fill(entry, result.header.Width, result.header.Height, icon, result.header.Orientation, result.header.Frames);
    else if (result.decode) ReadNow(entry, icon, result.job.extension);
  } catch (const std::exception& e) {
    cause = e.what();
  }
  return cause;
}

int ImageList::CollectHeaderResults(engine::UserDialogs& dialogs) {
  if (!pool_) return 0;
  std::vector<HeaderResult> results = pool_->TakeResults();
  std::unordered_map<uint64_t, size_t> bySerial;
  for (size_t i = 0; i < results.size(); ++i) bySerial.emplace(results[i].job.serial, i);
  // The result of a pending row, or none (the row was removed and perhaps added again since).
  const auto resultOf = [&](const ImageListEntry& row) -> const HeaderResult* {
    if (!row.pending) return nullptr;
    const auto found = bySerial.find(row.headerRead);
    if (found == bySerial.end() || results[found->second].job.path != row.path) return nullptr;
    return &results[found->second];
  };
  // What happened to each settled file, reported in the order the reads finished.
  struct Outcome {
    size_t result;
    bool filled;
    std::string cause;
  };
  std::vector<Outcome> outcomes;

  // Rows still waiting to be placed are filled where they are.
  for (size_t i = 0; i < arrived_.size();) {
    const HeaderResult* result = resultOf(arrived_[i]);
    if (result == nullptr) {
      ++i;
      continue;
    }
    std::string cause = Settle(arrived_[i], *result);
    const size_t index = static_cast<size_t>(result - results.data());
    if (!arrived_[i].pending) {
      outcomes.push_back({index, true, {}});
      ++i;
      continue;
    }
    outcomes.push_back({index, false, std::move(cause)});
    listed_.erase(arrived_[i].realPath);
    arrived_.erase(arrived_.begin() + static_cast<std::ptrdiff_t>(i));
  }

  // Placed rows: filled in place, unless their sort cell changed; those move behind the rows
  // equal to them, in the order their reads finished. Rows that cannot be read leave.
  std::vector<int> failed, moved;
  int firstChanged = -1, lastChanged = -1;
  for (size_t i = 0; i < rows_.size(); ++i) {
    const HeaderResult* result = resultOf(rows_[i]);
    if (result == nullptr) continue;
    const std::string before = rows_[i].Cell(sort_.column);
    std::string cause = Settle(rows_[i], *result);
    const size_t index = static_cast<size_t>(result - results.data());
    const int row = static_cast<int>(i);
    if (rows_[i].pending) {
      outcomes.push_back({index, false, std::move(cause)});
      failed.push_back(row);
    } else {
      outcomes.push_back({index, true, {}});
      if (rows_[i].Cell(sort_.column) != before) {
        moved.push_back(row);
      } else {
        if (firstChanged < 0) firstChanged = row;
        lastChanged = row;
      }
    }
  }
  if (firstChanged >= 0 && observer_) observer_->CellsChanged(firstChanged, lastChanged);
  for (auto f = failed.rbegin(); f != failed.rend(); ++f) {
    if (observer_) observer_->RowsAboutToBeRemoved(*f, *f);
    listed_.erase(rows_[static_cast<size_t>(*f)].realPath);
    rows_.erase(rows_.begin() + *f);
    if (observer_) observer_->RowsRemoved();
    for (int& m : moved)
      if (m > *f) --m;
  }
  if (!moved.empty()) {
    // The moved rows in the order their reads finished, as each was put back in turn.
    std::vector<int> order;
    order.reserve(rows_.size());
    std::vector<bool> moving(rows_.size(), false);
    for (const int m : moved) moving[static_cast<size_t>(m)] = true;
    for (int i = 0; i < RowCount(); ++i)
      if (!moving[static_cast<size_t>(i)]) order.push_back(i);
    const auto less = [this](int a, int b) { return Less(rows_[static_cast<size_t>(a)], rows_[static_cast<size_t>(b)]); };
    std::vector<int> back(moved);
    std::stable_sort(back.begin(), back.end(), [&](int a, int b) {
      return bySerial.at(rows_[static_cast<size_t>(a)].headerRead) < bySerial.at(rows_[static_cast<size_t>(b)].headerRead);
    });
    std::stable_sort(back.begin(), back.end(), less);
    const size_t stay = order.size();
    order.insert(order.end(), back.begin(), back.end());
    std::inplace_merge(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(stay), order.end(), less);
    Reorder(order);
  }

  std::sort(outcomes.begin(), outcomes.end(), [](const Outcome& a, const Outcome& b) { return a.result < b.result; });
  for (Outcome& o : outcomes) {
    const HeaderJob& job = results[o.result].job;
    if (o.filled) {
      if (rowFilled) rowFilled(job.path);
    } else {
      refusals_.push_back({job.path, std::move(o.cause), job.silenced});
    }
  }
  if (!outcomes.empty()) Changed();
  if (!failed.empty() || std::any_of(outcomes.begin(), outcomes.end(), [](const Outcome& o) { return !o.filled; }))
    UpdateCounterLabel();
  ReportRefusals(dialogs);
  return static_cast<int>(outcomes.size());
}

void ImageList::ReportRefusals(engine::UserDialogs& dialogs) {
  // A message lets events through, and with them perhaps another collection: its refusals
  // join the queue instead of opening a second message over the first.
  if (reporting_) return;
  reporting_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{reporting_};
  while (!refusals_.empty()) {
    Refusal refusal = std::move(refusals_.front());
    refusals_.pop_front();
    if (!refusal.silenced) Refuse(refusal.path, refusal.cause, dialogs);
    else if (fileRefused) fileRefused(refusal.path, refusal.cause, false);
  }
}

int ImageList::WaitForHeaders(engine::UserDialogs& dialogs) {
  if (!pool_) return 0;
  pool_->WaitIdle();
  return CollectHeaderResults(dialogs);
}

void ImageList::Refuse(const std::string& path, const std::string& cause, engine::UserDialogs& dialogs) {
  const bool reported = dialogs.ReportUnlessSilenced(forms::msg::kFormatNotSupported, path, cause);
  if (fileRefused) fileRefused(path, cause, reported);
}

void ImageList::Insert(ImageListEntry entry) {
  const auto at = std::upper_bound(rows_.begin(), rows_.end(), entry,
                                   [this](const ImageListEntry& a, const ImageListEntry& b) { return Less(a, b); });
  const int row = static_cast<int>(at - rows_.begin());
  const std::string path = entry.path;
  if (observer_) observer_->RowsAboutToBeInserted(row, row);
  rows_.insert(at, std::move(entry));
  if (observer_) observer_->RowsInserted();
  if (rowAdded) rowAdded(path);
  Changed();
}

void ImageList::PlaceArrived() {
  if (arrived_.empty()) return;
  const int first = RowCount();
  const int last = first + static_cast<int>(arrived_.size()) - 1;
  if (observer_) observer_->RowsAboutToBeInserted(first, last);
  rows_.insert(rows_.end(), std::make_move_iterator(arrived_.begin()), std::make_move_iterator(arrived_.end()));
  arrived_.clear();
  if (observer_) observer_->RowsInserted();
  // One merge gives what inserting each behind its equals, in arrival order, would give.
  std::vector<int> order(rows_.size());
  std::iota(order.begin(), order.end(), 0);
  const auto less = [this](int a, int b) { return Less(rows_[static_cast<size_t>(a)], rows_[static_cast<size_t>(b)]); };
  std::stable_sort(order.begin() + first, order.end(), less);
  std::inplace_merge(order.begin(), order.begin() + first, order.end(), less);
  Reorder(order);
  Changed();
}

void ImageList::Reorder(const std::vector<int>& order) {
  bool same = true;
  for (size_t k = 0; k < order.size() && same; ++k) same = order[k] == static_cast<int>(k);
  if (same) return;
  if (observer_) observer_->RowsAboutToMove();
  std::vector<ImageListEntry> placed;
  placed.reserve(rows_.size());
  for (const int from : order) placed.push_back(std::move(rows_[static_cast<size_t>(from)]));
  rows_.swap(placed);
  if (!observer_) return;
  std::vector<int> newRow(order.size());
  for (size_t k = 0; k < order.size(); ++k) newRow[static_cast<size_t>(order[k])] = static_cast<int>(k);
  observer_->RowsMoved(newRow);
}

void ImageList::AddFiles(const std::vector<std::string>& paths, engine::UserDialogs& dialogs) {
  BulkUpdate bulk(*this);
  for (const std::string& path : paths) AddFile(path, dialogs);
  CollectHeaderResults(dialogs);
  PlaceArrived();
  UpdateCounterLabel();
}

void ImageList::AddFolder(const std::string& folder, const forms::Form& folderFilter, engine::UserDialogs& dialogs) {
  if (!base::IsFolder(folder)) return;
  BulkUpdate bulk(*this);
  const std::vector<std::string> extensions = forms::SearchExtensions(folderFilter);
  const bool subfolders = folderFilter.Checked(forms::ctl::folderFilter::kSubfolders);
  const ListTexts t = Texts(language_);

  dialogs.Flags().showNoMore = true;
  dialogs.SetMainWindowEnabled(false);
  // Every way out leaves the window usable and the messages audible again.
  struct Restore {
    engine::UserDialogs& dialogs;
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
    if (base::IsFile(path)) AddFile(path, dialogs);
    dialogs.SetProgressFileLine("", std::to_string(c) + t.analyzed);
    dialogs.SetProgressPosition(c);
    dialogs.ProcessEvents();
    if (dialogs.Flags().cancelProgress) {
      dialogs.Flags().cancelProgress = false;
      break;
    }
  }
  CollectHeaderResults(dialogs);
  PlaceArrived();
  UpdateCounterLabel();
}

void ImageList::OpenFolder(forms::Form& mainForm, const forms::Form& folderFilter,
                           const std::function<std::string(const std::string&)>& choose, engine::UserDialogs& dialogs) {
  const std::string previous = mainForm.Text(forms::ctl::kSourceFolder);
  if (!engine::IsAcceptableFolderPath(previous)) {
    mainForm.SetText(forms::ctl::kSourceFolder, choose(""));
  } else if (const std::string chosen = choose(previous); !chosen.empty()) {
    mainForm.SetText(forms::ctl::kSourceFolder, chosen);
  }
  const std::string folder = mainForm.Text(forms::ctl::kSourceFolder);
  if (folder.empty()) mainForm.SetText(forms::ctl::kSourceFolder, previous);
  else AddFolder(folder, folderFilter, dialogs);
}

void ImageList::AddTypedFolder(const std::string& text, const forms::Form& folderFilter, engine::UserDialogs& dialogs) {
  if (base::IsFolder(text)) AddFolder(text, folderFilter, dialogs);
  else dialogs.Report(forms::msg::kFolderNotSearchable, text);
}

void ImageList::AddDropped(const std::vector<std::string>& paths, const forms::Form& folderFilter,
                           engine::UserDialogs& dialogs) {
  const ListTexts t = Texts(language_);
  const int count = static_cast<int>(paths.size());
  BulkUpdate bulk(*this);
  dialogs.SetMainWindowEnabled(false);
  struct Restore {
    ImageList& list;
    engine::UserDialogs& dialogs;
    ~Restore() {
      list.PlaceArrived();
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
      AddFolder(path, folderFilter, dialogs);
      // The search closed the progress window and enabled the window; the drop goes on.
      dialogs.SetMainWindowEnabled(false);
      dialogs.ShowProgress({t.analyzing, std::to_string(count) + t.added, std::to_string(i - 1) + t.analyzed}, count);
      dialogs.SetProgressPosition(i - 1);
    } else {
      AddFile(path, dialogs);
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

int ImageList::IconIndex(const std::string& path) {
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

void ImageList::SortByColumn(int column) {
  if (column < 0 || column >= kColumnCount) return;
  PlaceArrived();
  sort_.column = column;
  sort_.descending = column == sort_.lastClicked ? !sort_.descending : false;
  sort_.lastClicked = column;
  std::vector<int> order(rows_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [this](int a, int b) { return Less(rows_[static_cast<size_t>(a)], rows_[static_cast<size_t>(b)]); });
  Reorder(order);
  Changed();
}

int ImageList::Compare(const ImageListEntry& first, const ImageListEntry& second) const {
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
    default: return base::CompareNoCase(a.Cell(sort_.column), b.Cell(sort_.column));
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

void ImageList::RemoveSelected() {
  // The selected rows as runs of neighbours, from the last to the first.
  std::vector<std::pair<int, int>> runs;
  for (int i = RowCount() - 1; i >= 0; --i) {
    if (!rows_[static_cast<size_t>(i)].selected) continue;
    if (!runs.empty() && runs.back().first == i + 1) runs.back().first = i;
    else runs.emplace_back(i, i);
  }
  // A view copes better with one reset than with thousands of scattered removals.
  const bool reset = runs.size() > 64;
  if (reset && observer_) observer_->RowsAboutToBeReset();
  for (const auto& [first, last] : runs) {
    if (!reset && observer_) observer_->RowsAboutToBeRemoved(first, last);
    for (int i = first; i <= last; ++i) listed_.erase(rows_[static_cast<size_t>(i)].realPath);
    rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
    if (!reset && observer_) observer_->RowsRemoved();
  }
  if (reset && observer_) observer_->RowsReset();
  UpdateCounterLabel();
  Changed();
}

void ImageList::RemoveAll() {
  if (observer_) observer_->RowsAboutToBeReset();
  rows_.clear();
  arrived_.clear();
  listed_.clear();
  if (observer_) observer_->RowsReset();
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
