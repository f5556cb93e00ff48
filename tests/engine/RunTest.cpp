// The conversion run end to end on real files, driven by a scripted UserDialogs: start checks,
// naming, the overwrite protocol, cancelling, "OK for all", failures, the file-size search and
// the guarantee that a failing save loses nothing.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "forms/MessageKeys.h"
#include "base/Text.h"
#include "engine/ConversionRun.h"
#include "engine/OutputNaming.h"
#include "engine/FileSizeSearch.h"
#include "engine/ImageFiles.h"
#include "engine/JobFromForms.h"
#include "imaging/Codec.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestSupport.h"
#include "forms/OptionsForm.h"
#include "forms/MainForm.h"

namespace msg = forms::msg;

namespace {

namespace fs = std::filesystem;
using engine::OverwriteButton;

// A run with forms at their initial values over files in a temporary folder.
class RunFixture : public ::testing::Test {
protected:
  testsupport::TempDir dir;
  forms::Form mainForm = forms::CreateMainForm();
  forms::Form options = forms::CreateOptionsForm();
  engine::ScriptedDialogs dialogs;
  engine::RunMemory memory;
  std::vector<std::string> paths;
  engine::MetadataCarrier* metadata = nullptr;

  std::string Path(const std::string& name) const { return (dir.Path() / name).string(); }

  // Writes a w × h source image through the program's own save function.
  std::string Source(const std::string& name, int32_t w, int32_t h, uint32_t seed = 1) {
    imaging::Image image;
    EXPECT_TRUE(imaging::CreateImage(w, h, imaging::PixelFormat::A8R8G8B8, image));
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x)
        imaging::SetPixel32(image, x, y,
                            imaging::MakeColor32(255, static_cast<uint8_t>(x * 7 + seed * 31),
                                                 static_cast<uint8_t>(y * 5 + seed), static_cast<uint8_t>((x ^ y) * 3)));
    const std::string path = Path(name);
    fs::create_directories(fs::path(path).parent_path());
    EXPECT_TRUE(engine::SaveImageFile(path, image)) << path;
    paths.push_back(path);
    return path;
  }

  static engine::Size SizeOf(const std::string& path) {
    imaging::Image image;
    if (!engine::LoadImageFile(path, image)) return {};
    return {image.Width(), image.Height()};
  }

  void CustomSize(const char* w, const char* h, bool keep = false) {
    mainForm.SetChecked("rb_benutzer", true);
    mainForm.SetText("act_sizebenutzer_x", w);
    mainForm.SetText("act_sizebenutzer_y", h);
    mainForm.SetChecked("act_propbenutzer_prop", keep);
  }

  void NewFiles(const std::string& folder, const std::string& name, const std::string& format) {
    mainForm.SetChecked("out_newimage", true);
    mainForm.SetText("out_ordner", folder);
    mainForm.SetText("out_name", name);
    mainForm.SetText("out_format", format);
  }

  engine::RunResult Run(const std::string& separator = ".") {
    return dialogs.Run(paths, engine::JobSourceFromForms(mainForm, options), memory, metadata, separator);
  }

  std::vector<std::string> FilesIn(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Path(folder))) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  void ExpectIdle() const {
    EXPECT_TRUE(dialogs.mainWindowEnabled);
    EXPECT_FALSE(dialogs.progressVisible);
    const engine::DialogFlags& f = dialogs.Flags();
    EXPECT_FALSE(f.showNoMore || f.askNoMore || f.no || f.cancelOverwrite || f.cancelProgress);
  }
};

TEST_F(RunFixture, NewFilesWithPatternsSizesAndProgress) {
  for (int i = 0; i < 3; ++i) Source("src/p" + std::to_string(i) + ".bmp", 30, 20, static_cast<uint32_t>(i));
  CustomSize("15", "10");
  NewFiles("%folder%/new", "%0num% %name% (%width%x%height%)", "*.bmp - Windows Bitmap");
  const engine::RunResult result = Run();
  EXPECT_TRUE(result.started);
  EXPECT_EQ(result.written, 3);
  EXPECT_EQ(result.failed, 0);
  EXPECT_EQ(FilesIn("src/new"),
            (std::vector<std::string>{"1 p0 (30x20).bmp", "2 p1 (30x20).bmp", "3 p2 (30x20).bmp"}));
  EXPECT_EQ(SizeOf(Path("src/new/2 p1 (30x20).bmp")), (engine::Size{15, 10}));
  EXPECT_EQ(dialogs.progressMaximum, 3);
  EXPECT_EQ(dialogs.progressText.title, "Bilder werden bearbeitet");
  EXPECT_EQ(dialogs.positions, (std::vector<int>{0, 1, 2, 3}));
  ASSERT_EQ(dialogs.fileLines.size(), 3u);
  EXPECT_EQ(dialogs.fileLines[1], paths[1] + " (2/3)");
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(memory.filter, imaging::ResizeFilter::Bicubic);
  ExpectIdle();
}

TEST_F(RunFixture, StartChecks) {
  struct Case {
    const char* folder;
    const char* name;
    bool overwrite;
    const char* key;
    const char* detail;
  };
  const Case cases[] = {
      {"", "%name%", false, msg::kNoOutputFolder, ""},
      {"relative/out", "%name%", false, msg::kBadOutputFolder, "relative/out"},
      {"%folder%/a?b", "%name%", false, msg::kBadOutputFolder, "/Ordner//a?b"},
      {"<keep>", "", false, msg::kNoOutputName, ""},
      {"", "%name%", true, msg::kNoOutputFolder, ""},  // the checks hold in overwrite mode too
  };
  Source("a.bmp", 4, 4);
  for (const Case& c : cases) {
    dialogs.messages.clear();
    mainForm.SetChecked(c.overwrite ? "out_overwrite" : "out_newimage", true);
    mainForm.SetText("out_ordner", c.folder);
    mainForm.SetText("out_name", c.name);
    const engine::RunResult result = Run();
    EXPECT_FALSE(result.started) << c.folder;
    ASSERT_EQ(dialogs.messages.size(), 1u) << c.folder;
    EXPECT_EQ(dialogs.messages[0].key, c.key) << c.folder;
    EXPECT_EQ(dialogs.messages[0].detail, c.detail) << c.folder;
    EXPECT_EQ(dialogs.progressMaximum, -1) << "the progress window stays hidden";
  }
  EXPECT_EQ(FilesIn(""), (std::vector<std::string>{"a.bmp"}));

  // An empty list does nothing at all.
  paths.clear();
  dialogs.messages.clear();
  mainForm.SetText("out_ordner", "");
  EXPECT_FALSE(Run().started);
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(RunFixture, OverwriteProtocols) {
  struct Case {
    const char* what;
    std::vector<OverwriteButton> answers;
    std::vector<bool> changed;
    size_t questions;
    bool cancelled;
  };
  const Case cases[] = {
      {"No then Yes", {OverwriteButton::No, OverwriteButton::Yes}, {false, true, true, true}, 4, false},
      {"No for all", {OverwriteButton::Yes, OverwriteButton::NoForAll}, {true, false, false, false}, 2, false},
      {"Yes for all", {OverwriteButton::YesForAll}, {true, true, true, true}, 1, false},
      {"Break", {OverwriteButton::Yes, OverwriteButton::Break}, {true, false, false, false}, 2, true},
  };
  for (const Case& c : cases) {
    paths.clear();
    dialogs = engine::ScriptedDialogs();
    std::vector<std::vector<uint8_t>> before;
    for (int i = 0; i < 4; ++i) {
      Source(std::string(c.what) + std::to_string(i) + ".bmp", 8, 6, static_cast<uint32_t>(i));
      before.push_back(testsupport::ReadFileBytes(paths.back()));
    }
    mainForm.SetChecked("out_overwrite", true);
    CustomSize("4", "3");
    dialogs.overwriteAnswers.assign(c.answers.begin(), c.answers.end());
    const engine::RunResult result = Run();
    EXPECT_EQ(dialogs.overwriteQuestions.size(), c.questions) << c.what;
    EXPECT_EQ(result.cancelled, c.cancelled) << c.what;
    EXPECT_EQ(dialogs.mainWindowFocused, c.cancelled) << c.what;
    for (size_t i = 0; i < 4; ++i)
      EXPECT_EQ(testsupport::ReadFileBytes(paths[i]) != before[i], c.changed[i]) << c.what << ", file " << i;
    ExpectIdle();
  }
  // The flags of the broken run are gone: the next run asks again.
  dialogs = engine::ScriptedDialogs();
  Run();
  EXPECT_EQ(dialogs.overwriteQuestions.size(), 4u);
}

TEST_F(RunFixture, NoForAllStillWritesNewFiles) {
  for (const char* name : {"a", "b", "c", "d"}) Source(std::string("src/") + name + ".bmp", 8, 6);
  NewFiles(Path("out"), "%name%", "<keep>");
  fs::create_directories(Path("out"));
  testsupport::WriteFileBytes(Path("out/b.bmp"), {1, 2, 3});
  testsupport::WriteFileBytes(Path("out/d.bmp"), {4, 5, 6});
  dialogs.overwriteAnswers = {OverwriteButton::NoForAll};
  const engine::RunResult result = Run();
  EXPECT_EQ(dialogs.overwriteQuestions, (std::vector<std::string>{Path("out/b.bmp")}));
  EXPECT_EQ(result.written, 2);
  EXPECT_EQ(result.kept, 2);
  EXPECT_EQ(testsupport::ReadFileBytes(Path("out/b.bmp")), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(testsupport::ReadFileBytes(Path("out/d.bmp")), (std::vector<uint8_t>{4, 5, 6}));
  EXPECT_EQ(SizeOf(Path("out/c.bmp")), (engine::Size{640, 480}));  // the initial preset box
}

TEST_F(RunFixture, ProgressBreakTakesEffectAfterTheCurrentFile) {
  for (int i = 0; i < 5; ++i) Source("s" + std::to_string(i) + ".bmp", 6, 6);
  NewFiles(Path("out"), "%name%", "<keep>");
  dialogs.breakAtFileLine = 3;
  const engine::RunResult result = Run();
  EXPECT_TRUE(result.cancelled);
  EXPECT_EQ(result.written, 3);  // file 3 is still saved
  EXPECT_EQ(FilesIn("out"), (std::vector<std::string>{"s0.bmp", "s1.bmp", "s2.bmp"}));
  EXPECT_TRUE(dialogs.mainWindowFocused);
  ExpectIdle();
}

TEST_F(RunFixture, OkForAllSilencesTheRestOfTheRunOnly) {
  for (int i = 0; i < 4; ++i) Source("s" + std::to_string(i) + ".bmp", 6, 6);
  NewFiles(Path("out"), "%name%", "*.zzz - no such type");  // a configuration can set any text
  dialogs.messageAnswers = {engine::MessageButton::OK, engine::MessageButton::OKForAll};
  engine::RunResult result = Run();
  EXPECT_EQ(result.failed, 4);
  EXPECT_EQ(dialogs.MessageKeys(), (std::vector<std::string>{msg::kSaveError, msg::kSaveError}));
  EXPECT_EQ(dialogs.messages[0].detail, Path("out/s0.zzz"));
  ExpectIdle();
  dialogs.messages.clear();
  Run();
  EXPECT_EQ(dialogs.messages.size(), 4u);
}

TEST_F(RunFixture, MissingSourceIsReportedAndTheRunGoesOn) {
  Source("a.bmp", 6, 6);
  const std::string gone = Source("b.bmp", 6, 6);
  Source("c.bmp", 6, 6);
  fs::remove(gone);
  paths.push_back(Path("a_folder"));  // a folder is no source file either
  fs::create_directories(Path("a_folder"));
  NewFiles(Path("out"), "%name%", "<keep>");
  const engine::RunResult result = Run();
  EXPECT_EQ(result.written, 2);
  EXPECT_EQ(result.failed, 2);
  ASSERT_EQ(dialogs.messages.size(), 2u);
  EXPECT_EQ(dialogs.messages[0].key, msg::kSourceMissing);
  EXPECT_EQ(dialogs.messages[0].detail, gone);
  EXPECT_EQ(FilesIn("out"), (std::vector<std::string>{"a.bmp", "c.bmp"}));
  EXPECT_EQ(dialogs.positions.back(), 4);
}

TEST_F(RunFixture, FileSizeTextThatIsNoNumberIsReportedBeforeTheFirstFile) {
  Source("a.bmp", 6, 6);
  NewFiles(Path("out"), "%name%", "<keep>");
  mainForm.SetChecked("rb_filesize", true);
  mainForm.SetText("ed_filesize", "100,5");
  EXPECT_FALSE(Run(".").started);
  EXPECT_EQ(dialogs.MessageKeys(), (std::vector<std::string>{msg::kBadFileSize}));
  EXPECT_EQ(dialogs.messages[0].detail, "100,5");
  EXPECT_FALSE(fs::exists(Path("out")));
  ExpectIdle();
  dialogs.messages.clear();
  EXPECT_TRUE(Run(",").started);  // where the comma is the separator it is a number
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(RunFixture, FailuresOfSingleFiles) {
  const std::string good = Source("good.bmp", 8, 8);
  const std::string bad = Path("bad.bmp");
  testsupport::WriteFileBytes(bad, {'B', 'M', 0, 1, 2});
  paths.push_back(bad);
  NewFiles(Path("out"), "%name%", "<keep>");
  CustomSize("0", "4");  // a width of 0: the scaling step fails, and nothing is written
  engine::RunResult result = Run();
  EXPECT_EQ(result.failed, 2);
  EXPECT_EQ(result.written, 0);
  // The unreadable file is reported once, as the source that could not be read; each with its
  // cause.
  ASSERT_EQ(dialogs.MessageKeys(), (std::vector<std::string>{msg::kConversionError, msg::kLoadError}));
  EXPECT_EQ(dialogs.messages[0].detail, good);
  EXPECT_NE(dialogs.messages[0].cause.find("not positive"), std::string::npos) << dialogs.messages[0].cause;
  EXPECT_EQ(dialogs.messages[1].detail, bad);
  EXPECT_FALSE(dialogs.messages[1].cause.empty());
  EXPECT_FALSE(fs::exists(Path("out/good.bmp")));
  EXPECT_FALSE(fs::exists(Path("out/bad.bmp")));

  // A ratio dividing by zero ends the file with a saving error.
  dialogs.messages.clear();
  mainForm.SetChecked("rb_faktor", true);
  mainForm.SetText("ed_faktor", "2/0");
  paths = {good};
  result = Run();
  EXPECT_EQ(dialogs.MessageKeys(), (std::vector<std::string>{msg::kSaveError}));
  EXPECT_EQ(dialogs.messages[0].detail, Path("out/good.bmp"));
}

// Ignores SIGXFSZ and limits the size of files this process writes, for the test's lifetime.
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previous_);
  }

private:
  rlimit saved_{};
  sighandler_t previous_{};
};

TEST_F(RunFixture, FailingWriteLosesNothing) {
  const std::string original = Source("photo.bmp", 40, 30);
  const std::vector<uint8_t> before = testsupport::ReadFileBytes(original);
  mainForm.SetChecked("out_overwrite", true);
  CustomSize("400", "300");  // the output outgrows the limit below, the original does not
  {
    FileSizeLimit limit(before.size() + 4096);
    Run();
  }
  EXPECT_EQ(testsupport::ReadFileBytes(original), before);
  EXPECT_EQ(FilesIn(""), (std::vector<std::string>{"photo.bmp"}));  // no partial or temporary file
  ASSERT_EQ(dialogs.MessageKeys(), (std::vector<std::string>{msg::kSaveError}));
  EXPECT_EQ(dialogs.messages[0].detail, original);

  // The same in file-size mode: trials fail too, and none is left behind.
  dialogs = engine::ScriptedDialogs();
  mainForm.SetChecked("rb_filesize", true);
  mainForm.SetText("ed_filesize", "500");
  {
    FileSizeLimit limit(before.size() + 4096);
    Run();
  }
  EXPECT_EQ(testsupport::ReadFileBytes(original), before);
  EXPECT_EQ(FilesIn(""), (std::vector<std::string>{"photo.bmp"}));
}

TEST(FileSizeSearch, FirstEstimate) {
  EXPECT_EQ(engine::FileSizeFirstEstimate(2000, 1500, 400 * 1024, 100), (engine::Size{1000, 750}));
  EXPECT_EQ(engine::FileSizeFirstEstimate(100, 50, 25 * 1024, 100), (engine::Size{200, 100}));  // a larger target enlarges
  EXPECT_THROW(engine::FileSizeFirstEstimate(10, 10, 0, 100), std::runtime_error);
  EXPECT_THROW(engine::FileSizeFirstEstimate(10, 10, 1000, -1), std::runtime_error);
}

TEST_F(RunFixture, FileSizeSearchReachesTheTargetAndNeverTouchesAnExistingOutput) {
  Source("src/big.bmp", 200, 150);
  NewFiles(Path("out"), "%name%", "<keep>");
  mainForm.SetChecked("rb_filesize", true);
  mainForm.SetText("ed_filesize", "30");
  engine::RunResult result = Run();
  EXPECT_EQ(result.written, 1);
  const auto bytes = fs::file_size(Path("out/big.bmp"));
  EXPECT_NEAR(static_cast<double>(bytes) / 1024, 30.0, 1.5);
  EXPECT_EQ(FilesIn("out"), (std::vector<std::string>{"big.bmp"}));
  EXPECT_TRUE(dialogs.overwriteQuestions.empty()) << "trials at the output path are gone before the real save";

  // The output exists now: trials go to the _tempfile path, the output is untouched, and the
  // question is asked once, for the real save.
  const std::vector<uint8_t> existing = testsupport::ReadFileBytes(Path("out/big.bmp"));
  mainForm.SetText("ed_filesize", "10");
  dialogs.overwriteAnswers = {OverwriteButton::No};
  result = Run();
  EXPECT_EQ(dialogs.overwriteQuestions.size(), 1u);
  EXPECT_EQ(result.kept, 1);
  EXPECT_EQ(testsupport::ReadFileBytes(Path("out/big.bmp")), existing);
  EXPECT_EQ(FilesIn("out"), (std::vector<std::string>{"big.bmp"}));
}

// Records the metadata hooks and checks what the run has done when each is called.
class RecordingCarrier : public engine::MetadataCarrier {
public:
  struct Block : engine::CarriedMetadata {
    RecordingCarrier* owner;
    explicit Block(RecordingCarrier* o) : owner(o) {}
    ~Block() override { owner->calls.push_back("free"); }
    void WriteInto(const std::string& output) override {
      owner->calls.push_back("write " + output);
      if (owner->failWrite) throw std::runtime_error("metadata write failed");
    }
  };
  std::unique_ptr<engine::CarriedMetadata> Read(const std::string& source, const engine::CarryChanges&) override {
    calls.push_back("read " + source + (fs::is_directory(outputFolder) ? " (folder made)" : ""));
    return std::make_unique<Block>(this);
  }
  std::vector<std::string> calls;
  std::string outputFolder;
  bool failWrite = false;
};

TEST_F(RunFixture, MetadataHooksOnlyForJpegSourcesAndOutputs) {
  RecordingCarrier carrier;
  carrier.outputFolder = Path("out");
  metadata = &carrier;
  Source("a.bmp", 6, 6);
  NewFiles(Path("out"), "%name%", "<keep>");
  Run();
  EXPECT_TRUE(carrier.calls.empty()) << "a bitmap source carries nothing";

  if (imaging::FindFormatByExtension("jpg") == nullptr) GTEST_SKIP() << "no JPEG codec yet";
  paths.clear();
  const std::string jpeg = Source("j.jpg", 16, 16);
  Run();
  EXPECT_EQ(carrier.calls, (std::vector<std::string>{"read " + jpeg + " (folder made)", "write " + Path("out/j.jpg"),
                                                     "free"}));
  carrier.calls.clear();
  carrier.failWrite = true;
  dialogs.overwriteAnswers = {OverwriteButton::Yes};
  // The output stays; the lost metadata are reported, and the file counts as written.
  EXPECT_EQ(Run().written, 1);
  EXPECT_EQ(dialogs.MessageKeys(), (std::vector<std::string>{msg::kMetadataLost}));
  EXPECT_EQ(carrier.calls.back(), "free");
  NewFiles(Path("out"), "%name%", "*.bmp - Windows Bitmap");
  carrier.calls.clear();
  Run();
  EXPECT_EQ(carrier.calls, (std::vector<std::string>{"read " + jpeg + " (folder made)", "free"}));
}

}  // namespace

namespace {

// Nothing lost: after a failed step, sources and earlier outputs stay byte for byte.
class DataSafety : public RunFixture {};

TEST_F(DataSafety, AFailedScalingWritesNothingInAnySaveMode) {
  // Each size setting makes the scaling step fail for a 40 × 30 source.
  struct Case {
    const char* what;
    std::function<void(forms::Form&)> size;
  };
  const Case cases[] = {
      {"percent 0", [](forms::Form& f) { f.SetChecked("rb_prozent", true); f.SetText("act_sizeprozent_x", "0"); }},
      {"beyond the pixel limit",
       [](forms::Form& f) {
         f.SetChecked("rb_prozent", true);
         f.SetChecked("act_propprozent", true);
         f.SetText("act_sizeprozent_x", "100000");
       }},
      {"box 0 x 0",
       [](forms::Form& f) {
         f.SetChecked("rb_benutzer", true);
         f.SetChecked("act_propbenutzer_prop", false);
         f.SetText("act_sizebenutzer_x", "0");
         f.SetText("act_sizebenutzer_y", "0");
       }},
      {"factor 0", [](forms::Form& f) { f.SetChecked("rb_faktor", true); f.SetText("ed_faktor", "0"); }},
  };
  const std::string original = Source("photo.bmp", 40, 30);
  const std::vector<uint8_t> before = testsupport::ReadFileBytes(original);
  for (const Case& c : cases) {
    for (const bool overwrite : {true, false}) {
      dialogs = engine::ScriptedDialogs();
      dialogs.overwriteAnswers = {OverwriteButton::YesForAll};
      c.size(mainForm);
      if (overwrite) {
        mainForm.SetChecked("out_overwrite", true);
      } else {
        NewFiles(Path("out"), "%name%", "*.bmp - Windows Bitmap");
      }
      const engine::RunResult result = Run();
      EXPECT_EQ(result.failed, 1) << c.what;
      EXPECT_EQ(result.written, 0) << c.what;
      EXPECT_EQ(dialogs.MessageKeys(), (std::vector<std::string>{msg::kConversionError})) << c.what;
      EXPECT_TRUE(dialogs.overwriteQuestions.empty()) << c.what;
      EXPECT_EQ(testsupport::ReadFileBytes(original), before) << c.what;
      if (overwrite) {
        EXPECT_EQ(FilesIn(""), (std::vector<std::string>{"photo.bmp"})) << c.what;
      } else {
        // Not even the folder: the file failed before its save.
        EXPECT_FALSE(fs::exists(Path("out"))) << c.what;
      }
    }
  }
}

TEST_F(DataSafety, AFileSizeSearchThatFailsReportsOnceAndWritesNothing) {
  // A picture one pixel wide: every trial rounds its width to 0.
  const std::string tall = Source("tall.bmp", 1, 400);
  const std::vector<uint8_t> before = testsupport::ReadFileBytes(tall);
  mainForm.SetChecked("rb_filesize", true);
  mainForm.SetText("ed_filesize", "0,1");
  mainForm.SetChecked("out_overwrite", true);
  const engine::RunResult result = Run(",");
  EXPECT_EQ(dialogs.MessageKeys(), (std::vector<std::string>{msg::kConversionError}));
  EXPECT_EQ(dialogs.messages[0].detail, tall);
  EXPECT_EQ(result.failed, 1);
  EXPECT_EQ(result.written, 0);
  EXPECT_EQ(testsupport::ReadFileBytes(tall), before);
  EXPECT_EQ(FilesIn(""), (std::vector<std::string>{"tall.bmp"}));
}

TEST_F(DataSafety, TrialSizesStayProportionalToTheSource) {
  // A 257 × 8197 source: at most four times its pixels and never beyond the library's limits.
  const engine::Size first = engine::BoundTrialSize({1799, 57379}, 257, 8197);
  EXPECT_LE(int64_t(first.width) * first.height, 4 * int64_t(257) * 8197);
  EXPECT_NEAR(double(first.width) / first.height, 1799.0 / 57379, 0.001);
  EXPECT_EQ(engine::BoundTrialSize({100, 80}, 100, 80), (engine::Size{100, 80}));
  const engine::Size wide = engine::BoundTrialSize({200000, 10}, 100000, 10);
  EXPECT_LE(wide.width, imaging::kMaxImageSide);
}

TEST_F(DataSafety, TwoSourcesOfOneRunNeverWriteTheSameOutput) {
  const std::string first = Source("2023/DSC_0001.bmp", 8, 8, 1);
  const std::string second = Source("2024/DSC_0001.bmp", 12, 12, 2);
  const std::string third = Source("2024/DSC_0002.bmp", 8, 8, 3);
  NewFiles(Path("out"), "%name%", "<keep>");
  mainForm.SetChecked("rb_prozent", true);  // 100 %: every output keeps its source's pixels
  mainForm.SetText("act_sizeprozent_x", "100");
  dialogs.overwriteAnswers = {OverwriteButton::YesForAll};
  const engine::RunResult result = Run();
  EXPECT_EQ(result.written, 2);
  EXPECT_EQ(result.failed, 1);
  ASSERT_EQ(dialogs.MessageKeys(), (std::vector<std::string>{msg::kAlreadyWritten}));
  EXPECT_EQ(dialogs.messages[0].detail, Path("out/DSC_0001.bmp"));
  EXPECT_TRUE(dialogs.overwriteQuestions.empty());
  // The output is the first source's picture.
  imaging::Image a, b;
  ASSERT_TRUE(engine::LoadImageFile(first, a));
  ASSERT_TRUE(engine::LoadImageFile(Path("out/DSC_0001.bmp"), b));
  EXPECT_EQ(testsupport::CompareImages(a, b), "");

  // A file that existed before the run is still asked about, as always.
  dialogs = engine::ScriptedDialogs();
  dialogs.overwriteAnswers = {OverwriteButton::No, OverwriteButton::No};
  paths = {first, third};
  EXPECT_EQ(Run().kept, 2);
  EXPECT_EQ(dialogs.overwriteQuestions.size(), 2u);
  (void)second;
}

TEST_F(DataSafety, AWriteProtectedFileIsNotReplaced) {
  // Only a user without root's rights can show it: root may replace any file.
  if (geteuid() == 0) GTEST_SKIP() << "runs as root; the CLI test checks it as an ordinary user";
  const std::string original = Source("locked.bmp", 8, 8);
  const std::vector<uint8_t> before = testsupport::ReadFileBytes(original);
  fs::permissions(original, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  mainForm.SetChecked("out_overwrite", true);
  CustomSize("4", "4");
  dialogs.overwriteAnswers = {OverwriteButton::Yes};
  const engine::RunResult result = Run();
  EXPECT_EQ(result.failed, 1);
  ASSERT_EQ(dialogs.MessageKeys(), (std::vector<std::string>{msg::kSaveError}));
  EXPECT_NE(dialogs.messages[0].cause.find("Permission denied"), std::string::npos) << dialogs.messages[0].cause;
  EXPECT_EQ(testsupport::ReadFileBytes(original), before);
}

TEST_F(DataSafety, CancelStopsAfterTheFileInProgress) {
  for (int i = 0; i < 3; ++i) Source("c" + std::to_string(i) + ".bmp", 8, 8, static_cast<uint32_t>(i));
  NewFiles(Path("out"), "%name%", "<keep>");
  dialogs.breakDuringFile = 1;  // as a Ctrl+C that arrives while the first file is saved
  const engine::RunResult result = Run();
  EXPECT_TRUE(result.cancelled);
  EXPECT_EQ(result.written, 1);
  EXPECT_EQ(FilesIn("out"), (std::vector<std::string>{"c0.bmp"}));
}

}  // namespace

namespace {

// The run as a front end sees it: its events, the settings it reads per file and at the start,
// its stop token, and a run on a worker thread whose questions another thread answers.
class RunInterface : public RunFixture {};

TEST_F(RunInterface, EveryFileEndsWithItsResultOutputAndCause) {
  const std::string a = Source("a.bmp", 6, 6, 1);
  const std::string gone = Source("gone.bmp", 6, 6, 2);
  const std::string b = Source("b.bmp", 6, 6, 3);
  const std::string c = Source("c.bmp", 6, 6, 4);
  Source("d.bmp", 6, 6, 5);
  fs::remove(gone);
  NewFiles(Path("out"), "%name%", "<keep>");
  fs::create_directories(Path("out"));
  testsupport::WriteFileBytes(Path("out/b.bmp"), {1});
  testsupport::WriteFileBytes(Path("out/c.bmp"), {2});
  dialogs.overwriteAnswers = {OverwriteButton::No, OverwriteButton::Break};
  const engine::RunResult result = Run();

  struct Expected {
    std::string source, output;
    engine::FileResult result;
    std::string key;
  };
  const Expected expected[] = {
      {a, Path("out/a.bmp"), engine::FileResult::Written, ""},
      {gone, "", engine::FileResult::Failed, msg::kSourceMissing},
      {b, Path("out/b.bmp"), engine::FileResult::Kept, ""},
      {c, Path("out/c.bmp"), engine::FileResult::Cancelled, ""},
  };
  ASSERT_EQ(dialogs.fileEnds.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const engine::FileEnd& end = dialogs.fileEnds[i];
    EXPECT_EQ(end.index, static_cast<int>(i));
    EXPECT_EQ(end.total, 5);
    EXPECT_EQ(end.source, expected[i].source) << i;
    EXPECT_EQ(end.output, expected[i].output) << i;
    EXPECT_EQ(end.result, expected[i].result) << i;
    EXPECT_EQ(end.key, expected[i].key) << i;
  }
  EXPECT_TRUE(result.cancelled);
  EXPECT_EQ(result.written, 1);
  EXPECT_EQ(result.kept, 1);
  EXPECT_EQ(result.failed, 1);
  EXPECT_EQ(result.notProcessed, 1);  // d.bmp
  EXPECT_EQ(dialogs.fileLines.size(), 4u);
  ExpectIdle();
}

TEST_F(RunInterface, SizesAndNamesAreReadPerFileFilterAndCodecOptionsAtTheStart) {
  Source("a.bmp", 40, 30, 1);
  Source("b.bmp", 40, 30, 2);
  NewFiles(Path("out"), "%name%", "<keep>");
  CustomSize("20", "10");
  options.SetText("act_sizemethode", "Bilinear");
  int calls = 0;
  // The settings change while the first file is converted: the second file sees them, the
  // filter stays the one of the start.
  const engine::JobSource source = [&] {
    if (++calls == 3) {
      CustomSize("8", "6");
      mainForm.SetText("out_name", "%name%-second");
      options.SetText("act_sizemethode", "Nearest");
    }
    return engine::JobFromForms(mainForm, options);
  };
  const engine::RunResult result = dialogs.Run(paths, source, memory, metadata, ".");
  EXPECT_EQ(result.written, 2);
  EXPECT_EQ(calls, 3);  // the start and each file
  EXPECT_EQ(SizeOf(Path("out/a.bmp")), (engine::Size{20, 10}));
  EXPECT_EQ(SizeOf(Path("out/b-second.bmp")), (engine::Size{8, 6}));
  EXPECT_EQ(memory.filter, imaging::ResizeFilter::Bilinear);
}

TEST_F(RunInterface, AStopDuringAFileSizeSearchEndsItsTrialsAndStillSavesTheFile) {
  const std::string big = Source("big.bmp", 200, 150);
  Source("next.bmp", 20, 20);
  NewFiles(Path("out"), "%name%", "<keep>");
  mainForm.SetChecked("rb_filesize", true);
  mainForm.SetText("ed_filesize", "30");
  dialogs.breakAtFileLine = 1;  // the stop is asked for before the first trial
  // The first file is prepared on a helper thread; it waits for the stop here, and a little
  // longer for the stop to be passed on to the helpers' searches, so that the search surely
  // begins after it.
  dialogs.beforeLoad = [this](int i) {
    if (i != 0) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!dialogs.StopToken().stop_requested() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  };
  const engine::RunResult result = Run();
  EXPECT_TRUE(result.cancelled);
  EXPECT_EQ(result.written, 1);
  EXPECT_EQ(result.notProcessed, 1);
  EXPECT_EQ(FilesIn("out"), (std::vector<std::string>{"big.bmp"}));
  // No trial was made: the output has the first estimate's size.
  EXPECT_EQ(SizeOf(Path("out/big.bmp")), engine::FileSizeFirstEstimate(200, 150, fs::file_size(big), 30));
}

// A front end whose questions are answered by another thread, as a window answers a worker's
// question with a modal dialog: the run waits for the answer.
class AnsweringThread : public engine::Questions, public engine::RunObserver {
public:
  engine::MessageButton ShowMessage(const std::string&, const std::string&, const std::string&) override {
    return engine::MessageButton::OK;
  }
  engine::OverwriteButton ShowOverwrite(const std::string& path) override {
    std::unique_lock lock(mutex_);
    question_ = path;
    changed_.notify_all();
    changed_.wait(lock, [&] { return answer_.has_value(); });
    const OverwriteButton answer = *answer_;
    answer_.reset();
    return answer;
  }
  void ShowNote(const std::string&, const std::string&) override {}
  void FileStarted(const engine::FileStart&) override { CheckThread(); }
  void FileFinished(const engine::FileEnd&) override { CheckThread(); }

  // On the answering thread: waits for a question and returns its path.
  std::string WaitForQuestion() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !question_.empty(); });
    std::string asked;
    asked.swap(question_);
    return asked;
  }
  // On the answering thread: answers the question waited for.
  void Reply(OverwriteButton button) {
    const std::lock_guard lock(mutex_);
    answer_ = button;
    changed_.notify_all();
  }

  std::thread::id runThread;
  bool eventsOnRunThread = true;

private:
  void CheckThread() {
    if (std::this_thread::get_id() != runThread) eventsOnRunThread = false;
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string question_;
  std::optional<OverwriteButton> answer_;
};

TEST_F(RunInterface, AWorkerRunWaitsForQuestionsAnsweredOnAnotherThreadAndStopsWhenAsked) {
  for (int i = 0; i < 3; ++i) Source("w" + std::to_string(i) + ".bmp", 8, 8, static_cast<uint32_t>(i));
  mainForm.SetChecked("out_overwrite", true);
  CustomSize("4", "4");
  const std::vector<uint8_t> before = testsupport::ReadFileBytes(paths[0]);
  AnsweringThread front;
  engine::DialogFlags flags;
  std::stop_source stop;
  engine::RunResult result;
  std::thread worker([&] {
    front.runThread = std::this_thread::get_id();
    const engine::RunSetup setup{.paths = paths,
                                 .job = engine::JobSourceFromForms(mainForm, options),
                                 .observer = front,
                                 .questions = front,
                                 .flags = flags,
                                 .memory = memory,
                                 .stop = stop.get_token(),
                                 .metadata = nullptr};
    result = engine::RunConversion(setup);
  });
  EXPECT_EQ(front.WaitForQuestion(), paths[0]);
  stop.request_stop();  // Break in the progress window while the question is open
  front.Reply(OverwriteButton::Yes);
  worker.join();
  EXPECT_TRUE(front.eventsOnRunThread);
  EXPECT_TRUE(result.cancelled);
  EXPECT_EQ(result.written, 1);
  EXPECT_EQ(result.notProcessed, 2);
  EXPECT_NE(testsupport::ReadFileBytes(paths[0]), before);
  EXPECT_FALSE(flags.askNoMore || flags.no || flags.cancelOverwrite);
}

}  // namespace

namespace {

// What a user sees of a run and what it leaves on disk, with the run's folder cut from every
// path, so that a run with several files in flight can be compared with one file at a time.
struct RunRecord {
  engine::RunResult result;
  std::vector<std::string> events;  // messages, notes, questions, file lines, ends, in order
  std::vector<int> positions;
  std::map<std::string, std::vector<uint8_t>> files;  // every file under the folder, by relative path
};

std::string Relative(std::string text, const std::string& root) { return base::ReplaceAll(text, root, "<root>"); }

// Records a run's dialogs in order; the files are read after the run.
class RecordingDialogs : public engine::ScriptedDialogs {
public:
  std::string root;
  std::vector<std::string> events;
  engine::MessageButton ShowMessage(const std::string& key, const std::string& detail, const std::string& cause) override {
    events.push_back("message " + key + " " + Relative(detail, root));
    return ScriptedDialogs::ShowMessage(key, detail, cause);
  }
  engine::OverwriteButton ShowOverwrite(const std::string& path) override {
    events.push_back("overwrite? " + Relative(path, root));
    return ScriptedDialogs::ShowOverwrite(path);
  }
  void FileStarted(const engine::FileStart& file) override {
    events.push_back("start " + std::to_string(file.index));
    ScriptedDialogs::FileStarted(file);
  }
  void FileFinished(const engine::FileEnd& file) override {
    events.push_back("end " + std::to_string(file.index) + " " + std::to_string(int(file.result)) + " " + file.key + " " +
                     Relative(file.output, root));
    ScriptedDialogs::FileFinished(file);
  }
};

}  // namespace

// Runs with several files in flight against one file at a time, on the same lists in
// separate folders: the same events, answers and outputs, byte for byte.
class ParallelRun : public RunFixture {
protected:
  // The list: pictures of different sizes, a missing source, an unreadable one, and two sources
  // whose outputs have one name; some outputs exist before the run.
  void MakeList(const std::string& root) {
    paths.clear();
    for (int i = 0; i < 6; ++i)
      Source(root + "/src/p" + std::to_string(i) + ".jpg", 40 + 7 * i, 30 + 3 * i, static_cast<uint32_t>(i));
    paths.insert(paths.begin() + 2, Path(root + "/src/gone.jpg"));
    const std::string bad = Path(root + "/src/bad.jpg");
    testsupport::WriteFileBytes(bad, {0xFF, 0xD8, 0xFF, 0xE0, 0, 3});
    paths.insert(paths.begin() + 4, bad);
    Source(root + "/src2/p1.jpg", 50, 20, 9);  // the same output name as src/p1.jpg
    for (const char* name : {"p1", "p3", "p4", "p5"}) {
      fs::create_directories(Path(root + "/out"));
      testsupport::WriteFileBytes(Path(root + "/out/" + name + ".jpg"), {'o', 'l', 'd'});
    }
  }

  RunRecord RunIn(const std::string& root, int jobs, std::deque<OverwriteButton> answers,
                  std::function<void(int)> beforeLoad = {}) {
    MakeList(root);
    NewFiles(Path(root + "/out"), "%name%", "<keep>");
    RecordingDialogs recorder;
    recorder.root = Path(root);
    recorder.jobs = jobs;
    recorder.overwriteAnswers = std::move(answers);
    recorder.beforeLoad = std::move(beforeLoad);
    RunRecord record;
    record.result = recorder.Run(paths, engine::JobSourceFromForms(mainForm, options), memory, metadata, ".");
    record.events = recorder.events;
    record.positions = recorder.positions;
    for (const auto& entry : fs::recursive_directory_iterator(Path(root)))
      if (entry.is_regular_file())
        record.files[Relative(entry.path().string(), Path(root))] = testsupport::ReadFileBytes(entry.path().string());
    return record;
  }

  // Later files are loaded faster than earlier ones, so that they are ready first.
  static std::function<void(int)> SlowEarlyLoads() {
    return [](int index) { std::this_thread::sleep_for(std::chrono::milliseconds(std::max(0, 8 - index) * 4)); };
  }
};

TEST_F(ParallelRun, AnswersMessagesAndOutputsAreThoseOfOneFileAtATime) {
  struct Case {
    const char* what;
    std::function<void(forms::Form&)> mode;
    std::deque<OverwriteButton> answers;
  };
  const std::vector<Case> cases = {
      // "Yes for all" at the second question: p3 to p5 are replaced unasked.
      {"box, no then yes for all", [](forms::Form& f) { f.SetChecked("rb_benutzer", true);
         f.SetText("act_sizebenutzer_x", "20"); f.SetText("act_sizebenutzer_y", "20");
         f.SetChecked("act_propbenutzer_prop", true); },
       {OverwriteButton::No, OverwriteButton::YesForAll}},
      {"file size, yes then no for all", [](forms::Form& f) { f.SetChecked("rb_filesize", true);
         f.SetText("ed_filesize", "1.5"); },
       {OverwriteButton::Yes, OverwriteButton::NoForAll}},
      {"percent, break at the third question", [](forms::Form& f) { f.SetChecked("rb_prozent", true);
         f.SetText("act_sizeprozent_x", "60"); f.SetText("act_sizeprozent_y", "60"); },
       {OverwriteButton::Yes, OverwriteButton::No, OverwriteButton::Break}},
  };
  int n = 0;
  for (const Case& c : cases) {
    c.mode(mainForm);
    const std::string tag = std::to_string(n++);
    const RunRecord one = RunIn("one" + tag, 1, c.answers);
    const RunRecord three = RunIn("three" + tag, 3, c.answers, SlowEarlyLoads());
    EXPECT_EQ(three.events, one.events) << c.what;
    EXPECT_EQ(three.positions, one.positions) << c.what;
    EXPECT_EQ(three.result.written, one.result.written) << c.what;
    EXPECT_EQ(three.result.failed, one.result.failed) << c.what;
    EXPECT_EQ(three.result.kept, one.result.kept) << c.what;
    EXPECT_EQ(three.result.notProcessed, one.result.notProcessed) << c.what;
    EXPECT_EQ(three.result.cancelled, one.result.cancelled) << c.what;
    EXPECT_TRUE(three.files == one.files) << c.what;  // no trial file left, every output the same bytes
    EXPECT_GE(one.result.written, 2) << c.what;
    ExpectIdle();
  }
}

TEST_F(ParallelRun, TheAnswersApplyToTheFilesOfTheirTurn) {
  // Six files with existing outputs, three in flight, "Yes for all" at the second question.
  fs::create_directories(Path("out"));
  for (int i = 0; i < 6; ++i) {
    Source("src/f" + std::to_string(i) + ".bmp", 10 + i, 10, static_cast<uint32_t>(i));
    testsupport::WriteFileBytes(Path("out/f" + std::to_string(i) + ".bmp"), {'o', 'l', 'd'});
  }
  NewFiles(Path("out"), "%name%", "<keep>");
  CustomSize("200", "100");
  options.SetChecked("act_sizekleiner", false);  // the pictures keep their size
  dialogs.jobs = 3;
  dialogs.beforeLoad = SlowEarlyLoads();
  dialogs.overwriteAnswers = {OverwriteButton::No, OverwriteButton::YesForAll};
  const engine::RunResult result = Run();
  EXPECT_EQ(dialogs.overwriteQuestions, (std::vector<std::string>{Path("out/f0.bmp"), Path("out/f1.bmp")}));
  EXPECT_EQ(result.kept, 1);
  EXPECT_EQ(result.written, 5);
  EXPECT_EQ(testsupport::ReadFileBytes(Path("out/f0.bmp")), (std::vector<uint8_t>{'o', 'l', 'd'}));
  for (int i = 1; i < 6; ++i) EXPECT_EQ(SizeOf(Path("out/f" + std::to_string(i) + ".bmp")), (engine::Size{10 + i, 10}));
  EXPECT_EQ(dialogs.positions, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
  ExpectIdle();
}

TEST_F(ParallelRun, ACancelFinishesTheFileInProgressAndStartsNoOther) {
  for (int i = 0; i < 8; ++i) Source("src/f" + std::to_string(i) + ".png", 30, 20, static_cast<uint32_t>(i));
  NewFiles(Path("out"), "%name%", "<keep>");
  mainForm.SetChecked("rb_filesize", true);
  mainForm.SetText("ed_filesize", "0.5");
  std::atomic<int> highestLoad = -1;
  dialogs.jobs = 3;
  dialogs.beforeLoad = [&](int index) {
    highestLoad = std::max(highestLoad.load(), index);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  };
  dialogs.breakDuringFile = 3;
  const engine::RunResult result = Run();
  EXPECT_TRUE(result.cancelled);
  EXPECT_EQ(result.written, 3);
  EXPECT_EQ(result.notProcessed, 5);
  EXPECT_EQ(dialogs.fileLines.size(), 3u);
  // The third file is whole; nothing of the others, and no trial file, is left.
  EXPECT_EQ(FilesIn("out"), (std::vector<std::string>{"f0.png", "f1.png", "f2.png"}));
  EXPECT_TRUE(SizeOf(Path("out/f2.png")).width > 0);
  // At most three files ahead were begun: the window never reaches beyond them.
  EXPECT_LE(highestLoad.load(), 4);
  ExpectIdle();
}

TEST_F(ParallelRun, FilesSearchedAtOnceHaveTrialFilesOfTheirOwn) {
  // Two sources with one output name, searched at the same time: the first is written as one
  // file at a time writes it, the second is refused as this run's output, no trial remains.
  const std::string first = Source("a/x.png", 90, 70, 3);
  Source("b/x.png", 80, 60, 4);
  NewFiles(Path("out"), "%name%", "<keep>");
  mainForm.SetChecked("rb_filesize", true);
  mainForm.SetText("ed_filesize", "2");
  dialogs.jobs = 2;
  EXPECT_EQ(Run().written, 1);
  EXPECT_EQ(dialogs.MessageKeys(), (std::vector<std::string>{msg::kAlreadyWritten}));
  const std::vector<uint8_t> parallel = testsupport::ReadFileBytes(Path("out/x.png"));
  EXPECT_EQ(FilesIn("out"), (std::vector<std::string>{"x.png"}));
  fs::remove_all(Path("out"));
  dialogs.jobs = 1;
  paths = {first};
  EXPECT_EQ(Run().written, 1);
  EXPECT_EQ(testsupport::ReadFileBytes(Path("out/x.png")), parallel);
}

// One job is a pool of one helper, begun at the file's own turn: the job is read right after the
// file's FileStarted, and a source deleted while the file before it was converted is reported
// as missing, as a run of one file after the other reports it.
TEST_F(ParallelRun, OneJobLooksAtEachSourceAndReadsItsJobAtItsTurn) {
  Source("a.bmp", 6, 6, 1);
  const std::string gone = Source("gone.bmp", 6, 6, 2);
  Source("c.bmp", 6, 6, 3);
  NewFiles(Path("out"), "%name%", "<keep>");
  RecordingDialogs recorder;
  recorder.root = dir.Path().string();
  recorder.jobs = 1;
  recorder.beforeLoad = [&](int index) {
    if (index == 0) fs::remove(gone);
  };
  const engine::JobSource job = [&] {
    recorder.events.push_back("job");
    return engine::JobFromForms(mainForm, options);
  };
  const engine::RunResult result = recorder.Run(paths, job, memory, metadata, ".");
  EXPECT_EQ(result.written, 2);
  EXPECT_EQ(result.failed, 1);
  const std::string missing = msg::kSourceMissing;
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"job",  // the start checks'
                                                        "start 0", "job", "end 0 0  <root>/out/a.bmp",
                                                        "start 1", "message " + missing + " <root>/gone.bmp",
                                                        "end 1 2 " + missing + " ",
                                                        "start 2", "job", "end 2 0  <root>/out/c.bmp"}));
}

TEST(ParallelJobs, EffectiveCount) {
  EXPECT_EQ(engine::EffectiveJobs(1, 10), 1);
  EXPECT_EQ(engine::EffectiveJobs(4, 2), 2);
  EXPECT_EQ(engine::EffectiveJobs(4, 0), 1);
  EXPECT_EQ(engine::EffectiveJobs(0, 100), std::max(1, int(std::thread::hardware_concurrency())));
}

namespace {

// Counts the finished files as the run's thread reports them.
class CountingDialogs : public engine::ScriptedDialogs {
public:
  std::atomic<int> finished = 0;
  void FileFinished(const engine::FileEnd& file) override {
    ScriptedDialogs::FileFinished(file);
    ++finished;
  }
};

}  // namespace

TEST_F(ParallelRun, NoMoreFilesThanJobsAreLoadedAhead) {
  for (int i = 0; i < 12; ++i) Source("src/f" + std::to_string(i) + ".bmp", 12, 9, static_cast<uint32_t>(i));
  NewFiles(Path("out"), "%name%", "<keep>");
  CountingDialogs counting;
  counting.jobs = 3;
  std::atomic<int> beyond = 0;
  counting.beforeLoad = [&](int index) {
    // File k is loaded only once files 0 … k − 3 have ended, so at most three pictures are held.
    if (index >= counting.finished + 3) ++beyond;
    std::this_thread::sleep_for(std::chrono::milliseconds(index % 3 == 0 ? 6 : 1));
  };
  EXPECT_EQ(counting.Run(paths, engine::JobSourceFromForms(mainForm, options), memory, metadata, ".").written, 12);
  EXPECT_EQ(beyond.load(), 0);
}

// The memory budget on a list of large and small pictures (a large one holds 80 000 bytes by
// the estimate, decoded and kept at its size, a small one 800): a file is loaded only when the
// files still in flight before it and it fit the budget, or when it is alone. A budget below
// one large picture converts each of them alone, says so once, and writes the same outputs.
TEST_F(ParallelRun, TheMemoryBudgetHoldsBackWhatWouldNotFit) {
  const int sides[] = {100, 100, 10, 10, 100, 10, 100};
  std::vector<uint64_t> held;
  for (int i = 0; i < 7; ++i) {
    Source("src/f" + std::to_string(i) + ".bmp", sides[i], sides[i], static_cast<uint32_t>(i));
    held.push_back(uint64_t(8) * sides[i] * sides[i]);
  }
  struct Case {
    uint64_t budget;
    size_t notes;
  };
  NewFiles(Path("out"), "%name%", "<keep>");
  CustomSize("200", "100", true);
  options.SetChecked("act_sizekleiner", false);  // the pictures keep their size
  std::map<std::string, std::vector<uint8_t>> firstOutputs;
  for (const Case c : {Case{100000, 0}, Case{50000, 1}, Case{0, 0}}) {
    fs::remove_all(Path("out"));
    CountingDialogs counting;
    counting.jobs = 3;
    counting.memoryBudget = c.budget;
    std::atomic<int> overBudget = 0;
    counting.beforeLoad = [&](int index) {
      uint64_t inFlight = 0;
      for (int k = counting.finished; k <= index; ++k) inFlight += held[static_cast<size_t>(k)];
      if (c.budget != 0 && index > counting.finished && inFlight > c.budget) ++overBudget;
      std::this_thread::sleep_for(std::chrono::milliseconds(sides[index] == 100 ? 15 : 2));
    };
    EXPECT_EQ(counting.Run(paths, engine::JobSourceFromForms(mainForm, options), memory, metadata, ".").written, 7);
    EXPECT_EQ(overBudget.load(), 0) << c.budget;
    ASSERT_EQ(counting.notes.size(), c.notes) << c.budget;
    if (c.notes > 0) {
      EXPECT_EQ(counting.notes[0].detail, paths[0]);
      EXPECT_NE(counting.notes[0].cause.find("more than the memory budget of 1 MB"), std::string::npos)
          << counting.notes[0].cause;
    }
    std::map<std::string, std::vector<uint8_t>> outputs;
    for (const std::string& name : FilesIn("out")) outputs[name] = testsupport::ReadFileBytes(Path("out/" + name));
    if (firstOutputs.empty()) firstOutputs = outputs;
    EXPECT_TRUE(outputs == firstOutputs) << c.budget;
  }
}
