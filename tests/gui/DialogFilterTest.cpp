#include <gtest/gtest.h>

#include "gui/DialogFilter.h"

namespace {

TEST(DialogFilterTest, TranslatesCaptionPatternPairs) {
  EXPECT_EQ(TranslateDialogFilter("Hex Files|*.hex|Text Files|*.txt|All Files|*.*"),
            "Hex Files (*.hex);;Text Files (*.txt);;All Files (*)");
  EXPECT_EQ(TranslateDialogFilter("Programs|*.hex;*.ihx"), "Programs (*.hex *.ihx)");
}

TEST(DialogFilterTest, EmptyOrIncompleteFiltersStayHarmless) {
  EXPECT_EQ(TranslateDialogFilter(""), "");
  EXPECT_EQ(TranslateDialogFilter("Hex Files"), "Hex Files ()");
}

}  // namespace
