// The data archive the build generates opens as the intro will open it.
#include <gtest/gtest.h>

#include "archive/archive.h"

TEST(GeneratedArchive, OpensAsAnArchive) {
  archive::DataArchive vek(VEK_BINARY_DIR "/data/vek.bin");
  EXPECT_TRUE(vek.ok());
}
