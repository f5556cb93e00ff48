#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <sys/stat.h>

#include "engine/ImageFiles.h"
#include "imaging/Codec.h"
#include "tests/support/TestSupport.h"

using namespace imaging;
namespace fs = std::filesystem;

namespace {

using testsupport::ErrorOf;

void MakePicture(Image& image, int32_t width, int32_t height) {
  ASSERT_TRUE(CreateImage(width, height, PixelFormat::A8R8G8B8, image));
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      SetPixel32(image, x, y, MakeColor32(255, uint8_t(x * 40), uint8_t(y * 60), uint8_t(x + y)));
}

// A 2 × 1 top-down 32-bit Targa file.
std::vector<uint8_t> TinyTarga() {
  std::vector<uint8_t> f(18, 0);
  f[2] = 2;
  f[12] = 2;
  f[14] = 1;
  f[16] = 32;
  f[17] = 40;
  for (uint8_t b : {1, 2, 3, 255, 4, 5, 6, 255}) f.push_back(b);
  return f;
}

}  // namespace

TEST(ImageFiles, LoadChoosesTheReaderByContentExceptForIcons) {
  testsupport::TempDir dir;
  // A Targa file under a name that says otherwise is still read as Targa.
  testsupport::WriteFileBytes(dir / "picture.dat", TinyTarga());
  imaging::Image loaded;
  ASSERT_TRUE(engine::LoadImageFile((dir / "picture.dat").string(), loaded));
  EXPECT_EQ(loaded.Format(), PixelFormat::A8R8G8B8);
  EXPECT_EQ(GetPixel32(loaded, 1, 0), MakeColor32(255, 6, 5, 4));

  // Icons are recognised by the extension in any letter case, and only by it.
  imaging::Image picture;
  MakePicture(picture, 4, 3);
  ASSERT_TRUE(engine::SaveImageFile((dir / "a.Cur").string(), picture));
  imaging::Image icon;
  ASSERT_TRUE(engine::LoadImageFile((dir / "a.Cur").string(), icon));
  EXPECT_EQ(icon.Width(), 4);
  fs::copy_file(dir / "picture.dat", dir / "not-an-icon.ICO");
  imaging::Image none;
  EXPECT_EQ(ErrorOf([&] { engine::LoadImageFile((dir / "not-an-icon.ICO").string(), none); }),
            "Not a valid icon file header.");

  testsupport::WriteFileBytes(dir / "text.tga", {'h', 'e', 'l', 'l', 'o'});
  EXPECT_FALSE(engine::LoadImageFile((dir / "text.tga").string(), none));
  EXPECT_FALSE(engine::LoadImageFile((dir / "missing.tga").string(), none));
  EXPECT_FALSE(engine::LoadImageFile("", none));
  EXPECT_EQ(none.Bits(), nullptr);
}

TEST(ImageFiles, CorpusFilesLoadAsA8R8G8B8LikeImageMagickShowsThem) {
  if (testsupport::CorpusDir().empty()) GTEST_SKIP() << "third-party corpus not found";
  if (!testsupport::HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
  for (const char* name : {"tga-ftrvxmtrx/rgb24_top_left.tga", "tga-ftrvxmtrx/rgb24_top_left_colormap.tga",
                           "pillow-tests/hopper_16bit.pgm", "pillow-tests/hopper_8bit_plain.ppm",
                           "pillow-tests/hopper_1bit.pbm", "pillow-tests/odd_stride.pcx", "pillow-tests/hopper.xpm",
                           "pillow-tests/python.ico"}) {
    SCOPED_TRACE(name);
    imaging::Image loaded, expected;
    ASSERT_TRUE(engine::LoadImageFile(testsupport::CorpusFile(name).string(), loaded));
    EXPECT_EQ(loaded.Format(), PixelFormat::A8R8G8B8);
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(testsupport::CorpusFile(name), expected, "-auto-orient"));
    if (std::string(name).find(".ico") != std::string::npos) {
      EXPECT_EQ(loaded.Width(), 48);  // the largest of three 32-bit images
      continue;
    }
    EXPECT_EQ(testsupport::CompareImages(expected, loaded, 1), "");
  }
}

TEST(ImageFiles, SaveChoosesTheWriterByExtension) {
  testsupport::TempDir dir;
  imaging::Image picture;
  MakePicture(picture, 5, 2);
  for (const char* name : {"out.ico", "out.CUR"}) {
    ASSERT_TRUE(engine::SaveImageFile((dir / name).string(), picture));
    const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(dir / name);
    ASSERT_GT(bytes.size(), 6u);
    EXPECT_EQ(bytes[2], 1) << name;  // an icon file, also for a cursor name
  }
  ASSERT_TRUE(engine::SaveImageFile((dir / "out.TGA").string(), picture));
  imaging::Image back;
  ASSERT_TRUE(engine::LoadImageFile((dir / "out.TGA").string(), back));
  EXPECT_EQ(testsupport::CompareImages(picture, back), "");

  // No codec, a codec that cannot save, an empty image: false and nothing written.
  imaging::Image empty;
  EXPECT_FALSE(engine::SaveImageFile((dir / "out.xyz").string(), picture));
  EXPECT_FALSE(engine::SaveImageFile((dir / "out.pcx").string(), picture));
  EXPECT_FALSE(engine::SaveImageFile((dir / "empty.tga").string(), empty));
  EXPECT_FALSE(engine::SaveImageFile((dir / "empty.ico").string(), empty));
  EXPECT_EQ(testsupport::NamesIn(dir.Path()), (std::vector<std::string>{"out.CUR", "out.TGA", "out.ico"}));
}

TEST(ImageFiles, AFailedSaveLeavesTheExistingFileAsItWas) {
  testsupport::TempDir dir;
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  imaging::Image tooWide;
  MakePicture(tooWide, 40000, 1);  // beyond both the icon and the Targa limits
  for (const char* name : {"keep.ico", "keep.tga"}) {
    SCOPED_TRACE(name);
    testsupport::WriteFileBytes(dir / name, old);
    EXPECT_NE(ErrorOf([&] { engine::SaveImageFile((dir / name).string(), tooWide); }), "(no error)");
    EXPECT_EQ(testsupport::ReadFileBytes(dir / name), old);
  }
  EXPECT_EQ(testsupport::NamesIn(dir.Path()), (std::vector<std::string>{"keep.ico", "keep.tga"}));

  // A folder that does not exist is an error, not a silent false.
  imaging::Image picture;
  MakePicture(picture, 2, 2);
  EXPECT_NE(ErrorOf([&] { engine::SaveImageFile((dir / "no/such.ico").string(), picture); }).find("no/such.ico"),
            std::string::npos);
}

TEST(ImageFiles, ReplacingKeepsPermissionsAndLinks) {
  testsupport::TempDir dir;
  imaging::Image picture;
  MakePicture(picture, 3, 3);
  for (const char* name : {"mode.ico", "mode.tga"}) {
    SCOPED_TRACE(name);
    testsupport::WriteFileBytes(dir / name, {'x'});
    ASSERT_EQ(chmod((dir / name).c_str(), 0640), 0);
    ASSERT_TRUE(engine::SaveImageFile((dir / name).string(), picture));
    EXPECT_EQ(testsupport::PermissionsOf(dir / name), 0640u);
    EXPECT_GT(fs::file_size(dir / name), 1u);
  }

  // Writing to a symbolic link replaces the file it points to and keeps the link.
  fs::create_directory(dir / "real");
  testsupport::WriteFileBytes(dir / "real" / "target.ico", {'x'});
  fs::create_symlink("real/target.ico", dir / "link.ico");
  ASSERT_TRUE(engine::SaveImageFile((dir / "link.ico").string(), picture));
  EXPECT_TRUE(fs::is_symlink(dir / "link.ico"));
  EXPECT_GT(fs::file_size(dir / "real" / "target.ico"), 1u);
  EXPECT_EQ(testsupport::NamesIn(dir / "real"), (std::vector<std::string>{"target.ico"}));
}

// A colour JPEG is decoded straight into A8R8G8B8: the same pixels, every alpha 255, as the
// 24-bit decode converted afterwards.
TEST(ImageFiles, JpegLoadsStraightIntoThirtyTwoBitsWithTheSamePixels) {
  testsupport::TempDir dir;
  Image picture;
  MakePicture(picture, 37, 23);
  const std::string colour = (dir / "c.jpg").string();
  ASSERT_TRUE(engine::SaveImageFile(colour, picture));
  const Codec* jpeg = FindFormatByExtension("jpg");
  ASSERT_NE(jpeg, nullptr);
  std::vector<Image> plain;
  ASSERT_TRUE(jpeg->LoadFromFile(colour, plain, true, CurrentOptions()));
  ASSERT_EQ(plain[0].Format(), PixelFormat::R8G8B8);  // without the request: 24 bits
  ASSERT_TRUE(ConvertImageFormat(plain[0], PixelFormat::A8R8G8B8));
  Image loaded;
  ASSERT_TRUE(engine::LoadImageFile(colour, loaded));
  ASSERT_EQ(loaded.Format(), PixelFormat::A8R8G8B8);
  ASSERT_EQ(loaded.Size(), plain[0].Size());
  EXPECT_EQ(std::memcmp(loaded.Bits(), plain[0].Bits(), size_t(loaded.Size())), 0);
  for (int32_t i = 0; i < 37 * 23; ++i) ASSERT_EQ(loaded.Bits()[i * 4 + 3], 255) << i;
}
