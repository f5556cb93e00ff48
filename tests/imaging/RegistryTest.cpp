#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "imaging/Codec.h"
#include "tests/support/TestSupport.h"

using namespace imaging;
namespace fs = std::filesystem;

namespace {

using testsupport::ErrorOf;

// A codec that exists only here: "TSTI", width and height as bytes, then A8R8G8B8 pixels.
// It is not in the registry, so it exercises the base class's procedures on their own.
class TestCodec : public Codec {
public:
  explicit TestCodec(bool multiImage = false) {
    Name = "Test Image";
    CanLoad = CanSave = true;
    IsMultiImage = multiImage;
    SupportedFormats = MakeFormatSet({PixelFormat::A8R8G8B8});
    AddMasks("*.tst");
  }

  bool ProbeStream(Stream& h) const override {
    char magic[4] = {};
    const int64_t n = h.Read(magic, 4);
    h.Seek(-n, SeekOrigin::Current);
    return n == 4 && std::memcmp(magic, "TSTI", 4) == 0;
  }
  std::unique_ptr<Decoder> CreateDecoder(const CodecOptions& options) const override;
  std::unique_ptr<Encoder> CreateEncoder(const CodecOptions& options) const override;

  // The encoders of this codec refuse to write.
  bool failWrites = false;
};

class TestDecoder : public Decoder {
public:
  using Decoder::Decoder;
  bool ReadImages(Stream& h, std::vector<Image>& images, bool) override {
    uint8_t header[6];
    h.ReadExact(header, 6, "test header");
    Image& image = images.emplace_back();
    CreateImage(header[4], header[5], PixelFormat::A8R8G8B8, image);
    h.ReadExact(image.Bits(), image.Size(), "test pixels");
    return true;
  }
};

class TestEncoder : public Encoder {
public:
  TestEncoder(const TestCodec& codec, const CodecOptions& options) : Encoder(codec, options), codec_(codec) {}
  bool WriteImage(Stream& h, std::span<const Image> images, int32_t index) override {
    if (codec_.failWrites) RaiseImaging("Test write refused.");
    const bool multi = codec_.IsMultiImage;
    for (int32_t i = multi ? FirstIndex : index; i <= (multi ? LastIndex : index); ++i) {
      const Image& image = images[static_cast<size_t>(i)];
      const uint8_t header[6] = {'T', 'S', 'T', 'I', static_cast<uint8_t>(image.Width()),
                                 static_cast<uint8_t>(image.Height())};
      h.WriteExact(header, 6, "test header");
      h.WriteExact(image.Bits(), image.Size(), "test pixels");
    }
    return true;
  }

private:
  const TestCodec& codec_;
};

std::unique_ptr<Decoder> TestCodec::CreateDecoder(const CodecOptions& options) const {
  return std::make_unique<TestDecoder>(options);
}

std::unique_ptr<Encoder> TestCodec::CreateEncoder(const CodecOptions& options) const {
  return std::make_unique<TestEncoder>(*this, options);
}

// A codec that fills none of the operations.
class BareCodec : public Codec {
public:
  BareCodec() {
    CanLoad = CanSave = true;
    AddMasks("*.bare");
  }
  bool ProbeStream(Stream&) const override { return true; }
};

void MakeImage(Image& image, uint8_t seed) {
  ASSERT_TRUE(CreateImage(2, 3, PixelFormat::A8R8G8B8, image));
  for (int32_t i = 0; i < image.Size(); ++i) image.Bits()[i] = static_cast<uint8_t>(seed + i);
}

// The registry table's names in order; the registry holds the codecs built so far, in this order.
const char* const kRegistryNames[] = {
    "Windows Bitmap Image",     "Joint Photographic Experts Group Image", "Portable Network Graphics",
    "Multiple Network Graphics", "JPEG Network Graphics",                 "Graphics Interchange Format",
    "DirectDraw Surface",       "Truevision Targa Image",                 "Portable Bit Map",
    "Portable Gray Map",        "Portable Pixel Map",                     "Portable Arbitrary Map",
    "Portable Float Map",       "JPEG 2000 Image",                        "Tagged Image File Format",
    "Photoshop Image",          "ZSoft Paintbrush Image",                 "X Window Pixmap",
    "WebP Image",               "AVIF Image",                             "HEIF Image",
    "JPEG XL Image",
};

const Codec* Registered(const std::string& name) {
  for (const auto& codec : FileFormatRegistry())
    if (codec->Name == name) return codec.get();
  return nullptr;
}

}  // namespace

TEST(Registry, HoldsTheBuiltCodecsInTableOrder) {
  size_t next = 0;
  for (int32_t i = 0; i < FileFormatCount(); ++i) {
    const Codec* codec = FileFormatAt(i);
    ASSERT_NE(codec, nullptr);
    while (next < std::size(kRegistryNames) && codec->Name != kRegistryNames[next]) ++next;
    ASSERT_LT(next, std::size(kRegistryNames)) << codec->Name << " is out of order or unknown";
    EXPECT_FALSE(codec->Extensions.empty());
  }
  EXPECT_EQ(FileFormatAt(-1), nullptr);
  EXPECT_EQ(FileFormatAt(FileFormatCount()), nullptr);
}

TEST(Registry, FindsCodecsByExtensionAndFileName) {
  EXPECT_EQ(FindFormatByExtension("ico"), nullptr);
  EXPECT_EQ(FindFormatByExtension(""), nullptr);
  EXPECT_EQ(FindFormatByExtension("JPEG"), Registered("Joint Photographic Experts Group Image"));
  EXPECT_EQ(FindFormatByExtension("dib"), Registered("Windows Bitmap Image"));
  EXPECT_EQ(FindFormatByFileName("/a/dir.d/b.TIF"), Registered("Tagged Image File Format"));
  EXPECT_EQ(FindFormatByFileName("/a/b.tif/noextension"), nullptr);
  // Every registered extension finds its first holder, whatever its case.
  for (const auto& codec : FileFormatRegistry())
    for (const std::string& extension : codec->Extensions) {
      std::string upper = extension;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      const Codec* found = FindFormatByExtension(upper);
      ASSERT_NE(found, nullptr);
      EXPECT_TRUE(found == codec.get() || found->MatchesFileName("x." + extension));
      EXPECT_EQ(FindFormatByFileName("/photos/IMG." + upper), found);
    }
}

TEST(Registry, MasksAndWildcards) {
  TestCodec codec;
  codec.AddMasks(" *.jpg ,*.JPEG,  *.*,*, name.");
  EXPECT_EQ(codec.Masks, (std::vector<std::string>{"*.jpg", "*.JPEG", "*.*", "*", "name."}));
  EXPECT_EQ(codec.Extensions, (std::vector<std::string>{"jpg", "JPEG"}));
  EXPECT_EQ(codec.DefaultExtension(), "jpg");

  struct Case {
    const char* name;
    const char* mask;
    bool matches;
  };
  const Case cases[] = {
      {"/x/photo.JPG", "*.jpg", true},   {"/x.jpg/photo", "*.jpg", false}, {"a.bmp", "?.bmp", true},
      {"ab.bmp", "?.bmp", false},        {"anything", "", true},           {"a.tar.gz", "*.gz", true},
      {"abcabd", "*ab?", true},          {"abcabe", "*abd", false},        {".bmp", "*.bmp", true},
      {"x", "*", true},                  {"aXbXc", "a*b*c", true},         {"ac", "a*b*c", false},
  };
  for (const Case& c : cases) EXPECT_EQ(MatchesMask(c.name, c.mask), c.matches) << c.name << " " << c.mask;
}

TEST(Options, LibraryOptionsAreFilteredAndUnknownIdsRefused) {
  struct Case {
    int32_t id, value, stored;
  };
  const Case cases[] = {
      {option::kColorReductionMask, 300, 255}, {option::kColorReductionMask, -4, 0},
      {option::kColorReductionMask, 17, 17},   {option::kLoadOverrideFormat, 7, 0},
      {option::kLoadOverrideFormat, 88, 88},   {option::kSaveOverrideFormat, 1, 1},
      {option::kSaveOverrideFormat, 226, 0},   {option::kSaveOverrideFormat, -1, 0},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(SetOption(c.id, c.value));
    EXPECT_EQ(GetOption(c.id), c.stored) << c.id << " " << c.value;
  }
  SetOption(option::kColorReductionMask, 255);
  SetOption(option::kLoadOverrideFormat, 0);
  SetOption(option::kSaveOverrideFormat, 0);

  for (int32_t id : {9, -1, 1 << 20}) {
    EXPECT_EQ(GetOption(id), kInvalidOption) << id;
    EXPECT_FALSE(SetOption(id, 1)) << id;
  }
  // Codec options keep any value; the codec clamps when it uses it.
  if (Registered("Joint Photographic Experts Group Image")) {
    EXPECT_EQ(GetOption(option::kJpegQuality), 90);
    EXPECT_TRUE(SetOption(option::kJpegQuality, 500));
    EXPECT_EQ(GetOption(option::kJpegQuality), 500);
    SetOption(option::kJpegQuality, 90);
  }
  if (Registered("Windows Bitmap Image")) {
    EXPECT_EQ(GetOption(option::kBitmapRle), 1);
  }
  // Id 56 belongs to the GIF codec, created before the JPEG 2000 codec that asks for it too.
  if (Registered("Graphics Interchange Format")) {
    EXPECT_EQ(GetOption(option::kGifLoadAnimated), 1);
  }
}

TEST(Options, EveryIdStartsAtItsValueAndStandsForItsField) {
  struct Case {
    int32_t id, start;
  };
  const Case cases[] = {{10, 90}, {11, 0}, {12, 1},  {13, 0},  {14, 0},  {15, 0},  {16, 0},   {17, 0},
                        {18, 0},  {19, 0}, {20, 1},  {21, 1},  {25, 5},  {26, 5},  {28, 0},   {29, 0},
                        {30, 5},  {31, 5}, {32, 90}, {33, 0},  {40, 0},  {41, 5},  {42, 5},   {43, 90},
                        {44, 0},  {50, 1}, {51, 1},  {55, 80}, {56, 1},  {57, 0},  {65, 1},   {70, 1},
                        {80, 90}, {81, 0}, {85, 60}, {86, 6},  {87, 0},  {90, 50}, {91, 0},   {128, 255},
                        {129, 0}, {130, 0}};
  for (const Case& c : cases) EXPECT_EQ(GetOption(c.id), c.start) << c.id;

  // The typed value and the numbered interface agree.
  ASSERT_TRUE(PushOptions());
  SetOption(option::kPngPreFilter, 4);
  SetOption(option::kJpeg2000Quality, 33);
  SetOption(option::kSaveOverrideFormat, int32_t(PixelFormat::Index8));
  const CodecOptions options = CurrentOptions();
  EXPECT_EQ(options.png.preFilter, 4);
  EXPECT_EQ(options.mng.preFilter, 5);
  EXPECT_EQ(options.jpeg2000.quality, 33);
  EXPECT_EQ(options.library.saveOverrideFormat, PixelFormat::Index8);
  // A flag is set by any number but 0 and reads back as 1.
  EXPECT_TRUE(SetOption(option::kJpegProgressive, 5));
  EXPECT_EQ(GetOption(option::kJpegProgressive), 1);
  EXPECT_TRUE(CurrentOptions().jpeg.progressive);
  // What a load found is no option: these ids keep their start values.
  EXPECT_TRUE(SetOption(option::kDdsLoadedMipMapCount, 7));
  EXPECT_EQ(GetOption(option::kDdsLoadedMipMapCount), 0);
  ASSERT_TRUE(PopOptions());
  EXPECT_EQ(GetOption(option::kPngPreFilter), 5);
  EXPECT_EQ(GetOption(option::kJpegProgressive), 0);
}

TEST(Options, RegistrationKeepsTheFirstBinding) {
  static int32_t mine = 5, other = 6;
  EXPECT_FALSE(RegisterOption(-3, &mine));
  EXPECT_FALSE(RegisterOption(option::kColorReductionMask, &mine));
  EXPECT_EQ(GetOption(option::kColorReductionMask), 255);
  // An id beyond the table grows it.
  EXPECT_TRUE(RegisterOption(4000, &mine));
  EXPECT_FALSE(RegisterOption(4000, &other));
  EXPECT_EQ(GetOption(4000), 5);
  EXPECT_TRUE(SetOption(4000, 77));
  EXPECT_EQ(mine, 77);
}

TEST(Options, PushAndPopRestoreEightLevels) {
  SetOption(option::kColorReductionMask, 255);
  ASSERT_TRUE(PushOptions());
  SetOption(option::kColorReductionMask, 50);
  EXPECT_TRUE(PopOptions());
  EXPECT_EQ(GetOption(option::kColorReductionMask), 255);
  EXPECT_FALSE(PopOptions());

  for (int level = 0; level < 8; ++level) {
    SetOption(option::kColorReductionMask, level);
    EXPECT_TRUE(PushOptions()) << level;
  }
  SetOption(option::kColorReductionMask, 100);
  EXPECT_FALSE(PushOptions());
  EXPECT_EQ(GetOption(option::kColorReductionMask), 100);
  for (int level = 7; level >= 0; --level) {
    EXPECT_TRUE(PopOptions());
    EXPECT_EQ(GetOption(option::kColorReductionMask), level);
  }
  EXPECT_FALSE(PopOptions());
  SetOption(option::kColorReductionMask, 255);
}

TEST(FileFormat, SavesSeveralImagesOneFileEach) {
  testsupport::TempDir dir;
  TestCodec codec;
  std::vector<Image> images;
  MakeImage(images.emplace_back(), 0);
  MakeImage(images.emplace_back(), 100);
  ASSERT_TRUE(codec.SaveToFile((dir / "x.tst").string(), images));
  EXPECT_FALSE(fs::exists(dir / "x.tst"));
  for (int i = 0; i < 2; ++i) {
    std::vector<Image> loaded;
    ASSERT_TRUE(codec.LoadFromFile((dir / ("x00" + std::to_string(i) + ".tst")).string(), loaded));
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(std::memcmp(loaded[0].Bits(), images[i].Bits(), 24), 0);
  }
  // A name without extension just gets the number; with onlyFirst one file is written.
  ASSERT_TRUE(codec.SaveToFile((dir / "noext").string(), images));
  EXPECT_TRUE(fs::exists(dir / "noext000") && fs::exists(dir / "noext001"));
  ASSERT_TRUE(codec.SaveToFile((dir / "one.tst").string(), images, true));
  EXPECT_TRUE(fs::exists(dir / "one.tst"));
  EXPECT_FALSE(fs::exists(dir / "one000.tst"));

  // A codec that holds several images writes them all into one file.
  TestCodec multi(true);
  ASSERT_TRUE(multi.SaveToFile((dir / "m.tst").string(), images));
  EXPECT_EQ(fs::file_size(dir / "m.tst"), 2u * 30u);
}

TEST(FileFormat, PrepareSaveChoosesTheImageRange) {
  std::vector<Image> images;
  for (uint8_t i = 0; i < 3; ++i) MakeImage(images.emplace_back(), i);
  MemoryStream stream;
  struct Case {
    bool multi;
    int32_t index, first, last, after;
  };
  const Case cases[] = {
      {true, -1, 0, 2, 0}, {true, 3, 0, 0, 0}, {true, 1, 1, 1, 1}, {false, -1, -9, -9, 0}, {false, 7, -9, -9, 0},
      {false, 2, -9, -9, 2},
  };
  const CodecOptions options = CurrentOptions();
  for (const Case& c : cases) {
    TestCodec codec(c.multi);
    const std::unique_ptr<Encoder> encoder = codec.CreateEncoder(options);
    encoder->FirstIndex = encoder->LastIndex = -9;
    int32_t index = c.index;
    EXPECT_TRUE(encoder->PrepareSave(images, index));
    EXPECT_EQ(index, c.after);
    EXPECT_EQ(encoder->FirstIndex, c.first);
    EXPECT_EQ(encoder->LastIndex, c.last);
  }
  images[1].Reset();
  TestCodec multi(true);
  int32_t all = -1;
  EXPECT_FALSE(multi.CreateEncoder(options)->PrepareSave(images, all));
  EXPECT_FALSE(multi.SaveToStream(stream, images)) << "an invalid image is not saved";
  EXPECT_EQ(stream.Size(), 0);
}

TEST(FileFormat, FailedLoadsChainTheirReasonAndLeaveNothing) {
  testsupport::TempDir dir;
  TestCodec codec;
  const std::string truncated = (dir / "short.tst").string();
  testsupport::WriteFileBytes(truncated, {'T', 'S', 'T', 'I', 2, 2, 1, 2, 3});
  std::vector<Image> images;
  MakeImage(images.emplace_back(), 1);
  EXPECT_EQ(ErrorOf([&] { codec.LoadFromFile(truncated, images); }),
            "Error while loading images from file \"" + truncated +
                "\" (file format: tst). Exception Message: Unexpected end of data in test pixels");
  EXPECT_TRUE(images.empty());

  const std::string wrong = (dir / "wrong.tst").string();
  testsupport::WriteFileBytes(wrong, {'N', 'O', 'P', 'E', 1, 1, 0, 0, 0, 0});
  EXPECT_EQ(ErrorOf([&] { codec.LoadFromFile(wrong, images); }),
            "Error while loading images from file \"" + wrong + "\" (file format: tst). Exception Message: File \"" +
                wrong + "\" is not valid image in \"Test Image\" format.");

  const std::string missing = (dir / "missing.tst").string();
  EXPECT_EQ(ErrorOf([&] { codec.LoadFromFile(missing, images); })
                .rfind("Error while loading images from file \"" + missing + "\" (file format: tst). Exception Message: Cannot open file", 0),
            0u);

  // From a stream: the position is restored after the failure.
  MemoryStream stream(std::vector<uint8_t>{0, 0, 'T', 'S', 'T', 'I', 9, 9, 1});
  stream.Seek(2, SeekOrigin::Begin);
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<void*>(&stream));
  EXPECT_EQ(ErrorOf([&] { codec.LoadFromStream(stream, images); }),
            std::string("Error while loading images from stream ") + address +
                " (file format: tst). Exception Message: Unexpected end of data in test pixels");
  EXPECT_EQ(stream.Position(), 2);

  BareCodec bare;
  EXPECT_EQ(ErrorOf([&] { bare.LoadFromStream(stream, images); }),
            std::string("Error while loading images from stream ") + address +
                " (file format: bare). Exception Message: Image Format \"Unknown and unsupported format\" does not "
                "support loading images.");
}

TEST(FileFormat, FailedSavesKeepTheExistingFile) {
  testsupport::TempDir dir;
  const std::string path = (dir / "keep.tst").string();
  testsupport::WriteFileBytes(path, {1, 2, 3});
  std::vector<Image> images;
  MakeImage(images.emplace_back(), 1);
  TestCodec codec;
  codec.failWrites = true;
  EXPECT_EQ(ErrorOf([&] { codec.SaveToFile(path, images); }),
            "Error while saving images to file \"" + path +
                "\" (file format: tst). Exception Message: Test write refused.");
  BareCodec bare;
  EXPECT_EQ(ErrorOf([&] { bare.SaveToFile(path, images); }),
            "Error while saving images to file \"" + path +
                "\" (file format: bare). Exception Message: Image Format \"Unknown and unsupported format\" does "
                "not support saving images.");
  EXPECT_EQ(testsupport::ReadFileBytes(path), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);

  // Nothing to save is no error.
  std::vector<Image> empty;
  EXPECT_FALSE(codec.SaveToFile(path, empty));
  bare.CanSave = false;
  EXPECT_FALSE(bare.SaveToFile(path, images));
}

TEST(FileFormat, CanSaveFormatAndPrepareForSave) {
  TestCodec codec;
  const std::unique_ptr<Encoder> encoder = codec.CreateEncoder(CurrentOptions());
  Image image;
  MakeImage(image, 0);
  EXPECT_TRUE(encoder->CanSaveFormat(image));
  // A format outside the set, and the empty image's Unknown, are refused.
  Image other;
  ASSERT_TRUE(CreateImage(2, 2, PixelFormat::R8G8B8, other));
  EXPECT_FALSE(encoder->CanSaveFormat(other));
  EXPECT_FALSE(encoder->CanSaveFormat(Image()));
}

TEST(Detection, UsesContentAndPrefersTheNamedType) {
  testsupport::TempDir dir;
  EXPECT_EQ(DetectFileFormat(""), "");
  EXPECT_EQ(DetectFileFormat((dir / "missing.bmp").string()), "");
  const std::string junk = (dir / "junk.bmp").string();
  testsupport::WriteFileBytes(junk, {'x', 'y', 'z'});
  EXPECT_EQ(DetectFileFormat(junk), "");

  // Content of one type under the name of another: found in the second pass.
  struct Case {
    const char* codec;
    std::vector<uint8_t> content;
    const char* expected;
  };
  std::vector<uint8_t> bmp(64, 0);
  bmp[0] = 'B', bmp[1] = 'M';
  const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                    0,    0,   0,   1,   0,    0,    0,    1,    8, 2, 0, 0,  0,   0x90, 0x77, 0x53, 0xDE};
  const Case cases[] = {{"Windows Bitmap Image", bmp, "bmp"}, {"Portable Network Graphics", png, "png"}};
  for (const Case& c : cases) {
    if (!Registered(c.codec)) continue;
    const std::string path = (dir / "photo.jpg").string();
    testsupport::WriteFileBytes(path, c.content);
    EXPECT_EQ(DetectFileFormat(path), c.expected);
    MemoryStream stream(c.content);
    EXPECT_EQ(DetectStreamFormat(stream), c.expected);
    EXPECT_EQ(stream.Position(), 0);
  }
}

TEST(Detection, OneImageFunctions) {
  MemoryStream empty;
  Image image;
  EXPECT_EQ(ErrorOf([&] { LoadImageFromStream(empty, image); }), "Input stream has no data. Check Position property.");
  MemoryStream junk(std::vector<uint8_t>{1, 2, 3});
  EXPECT_FALSE(LoadImageFromStream(junk, image));
  MakeImage(image, 3);
  EXPECT_FALSE(SaveImageToStream("nosuchtype", junk, image));
  EXPECT_FALSE(LoadImageFromFile("/nonexistent/file.bmp", image));
  EXPECT_TRUE(IsImageValid(image)) << "a failed detection leaves the image alone";
}
