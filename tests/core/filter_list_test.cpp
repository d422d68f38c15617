// The settings dialogs' list of ten read into the device library's filter settings.
#include "logic/filter_list.h"

#include <gtest/gtest.h>

TEST(FilterList, EachEntryLandsInItsOwnSettingAndShortListsConfigureNothing) {
    const auto f = filter_list::read({0, 2, -1, 1, 11, 12, 13, 14, 15, 16, 99});
    ASSERT_TRUE(f.has_value());
    EXPECT_FALSE(f->zigzag_filling);
    EXPECT_TRUE(f->deflaring) << "any non-zero switch is on";
    EXPECT_TRUE(f->real_ambient);
    EXPECT_TRUE(f->line_filling);
    const int values[] = {f->line_left_offset,     f->line_right_offset, f->retro_threshold,
                          f->deflaring_depth_diff, f->zigzag_depth_diff, f->zigzag_smoothing};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(values[k], 11 + k) << "entry " << 4 + k;
    EXPECT_FALSE(filter_list::read({1, 1, 1, 1, 0, 0, 0, 0, 0}).has_value());
    EXPECT_FALSE(filter_list::read({}).has_value());
}
