// Streams on a real volume (volume_streams_test.sh makes it): a file that mtools put there is
// scanned with fscanf, and a report written with fopen("w"), fprintf and fputs is read back.
#include <stdio.h>
#include <string.h>

#include "vtest.h"

TEST(VolumeStreams, ScanAFileAndWriteAReport) {
  FILE* in = fopen("/Data/Scores.txt", "r");
  ASSERT_TRUE(in != nullptr);
  char name[16], names[64] = "";
  int score = 0, total = 0;
  while (fscanf(in, "%15s", name) == 1 && fscanf(in, "%i", &score) == 1) {
    strcat(names, name);
    total += score;
  }
  EXPECT_TRUE(feof(in) == 1 && ftell(in) == 53);
  EXPECT_STREQ(names, "alicebobcarolBartholomew-Smy");  // a width bounds what %s stores
  EXPECT_EQ(total, 12 - 5 + 0x1f + 010);
  EXPECT_EQ(fclose(in), 0);

  FILE* report = fopen("/Data/Report of the day.txt", "w");
  ASSERT_TRUE(report != nullptr);
  EXPECT_EQ(fprintf(report, "%d points from %s\n", total, names), 44);
  EXPECT_EQ(fputs("end of report\n", report), 14);
  EXPECT_EQ(fclose(report), 0);
  EXPECT_TRUE(fopen("/Data/Never closed.txt", "w") != nullptr);  // leaves no file behind

  FILE* back = fopen("/Data/Report of the day.txt", "r");
  char text[64] = "";
  EXPECT_EQ(fread(text, 1, sizeof text, back), 58u);
  EXPECT_STREQ(text, "46 points from alicebobcarolBartholomew-Smy\nend of report\n");
  EXPECT_EQ(fclose(back), 0);
}
