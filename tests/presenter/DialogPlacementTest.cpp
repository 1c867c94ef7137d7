#include <gtest/gtest.h>

#include "presenter/DialogPlacement.h"

using namespace qor;

TEST(DialogPlacementTest, CentredAcrossAndAQuarterDownTruncatingTowardZero) {
    EXPECT_EQ(PlaceOverOwner(100, 50, 801, 601, 460, 116), (TDialogPosition{270, 171}));
    // A dialog larger than its owner: negative halves and quarters truncate toward zero.
    EXPECT_EQ(PlaceOverOwner(0, 0, 100, 100, 259, 253), (TDialogPosition{-79, -38}));
    EXPECT_EQ(PlaceOverOwner(-500, 10, 300, 200, 259, 253), (TDialogPosition{-480, -3}));
}
