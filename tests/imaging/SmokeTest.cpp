#include <gtest/gtest.h>

#include "ImagingFormats.h"

using namespace imaging;

TEST(ImageBuffer, CreateDefaultGivesA8R8G8B8) {
  ImageData image;
  ASSERT_TRUE(CreateImage(3, 2, PixelFormat::Default, image));
  EXPECT_EQ(image.Format, PixelFormat::A8R8G8B8);
  EXPECT_EQ(image.Size, 24);
  ReleaseImage(image);
}
