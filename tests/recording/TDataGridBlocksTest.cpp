#include "recording/TDataGridBlocks.h"
#include "recording/TDataGrid.h"

#include <gtest/gtest.h>
#include <string>

namespace {

// Blocks of four elements, so every case crosses block boundaries many times. Strings, so a lost
// destructor or a copy into the wrong slot shows (under the sanitizers too).
using TSmallBlocks = TDataGridBlocks<std::string, 2>;

std::string Text(std::size_t i) {
    return "element " + std::to_string(i);
}

void ExpectHolds(const TSmallBlocks& blocks, std::size_t first, std::size_t count) {
    ASSERT_EQ(blocks.Size(), count);
    for (std::size_t i = 0; i < count; ++i)
        ASSERT_EQ(blocks[i], Text(first + i)) << "index " << i;
}

TEST(DataGridBlocks, KeepsElementsInPlaceAcrossBlockBoundaries) {
    TSmallBlocks blocks;
    for (std::size_t i = 0; i < 23; ++i) {
        blocks.PushBack(Text(i));
        ASSERT_EQ(blocks.Back(), Text(i));
    }
    ExpectHolds(blocks, 0, 23);
    // Appending never moves what is stored.
    const std::string* third = &blocks[3];
    const std::string* fifth = &blocks[4];
    for (std::size_t i = 23; i < 100; ++i)
        blocks.PushBack(Text(i));
    EXPECT_EQ(&blocks[3], third);
    EXPECT_EQ(&blocks[4], fifth);
    ExpectHolds(blocks, 0, 100);
}

TEST(DataGridBlocks, DropsFromEitherEndAndRefills) {
    struct Case {
        const char* what;
        std::size_t fill, popFront, truncateTo;
    };
    const Case cases[] = {
        {"nothing dropped", 13, 0, 13},           {"front within the first block", 13, 3, 13},
        {"front on a block boundary", 13, 8, 13}, {"front across blocks, back to a boundary", 21, 6, 6},
        {"back within a block", 21, 0, 10},       {"back to empty", 9, 0, 0},
        {"front past the end", 9, 20, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TSmallBlocks blocks;
        for (std::size_t i = 0; i < c.fill; ++i)
            blocks.PushBack(Text(i));
        blocks.PopFront(c.popFront);
        const std::size_t first = std::min(c.popFront, c.fill);
        blocks.Truncate(c.truncateTo);
        const std::size_t kept = std::min(c.truncateTo, c.fill - first);
        ExpectHolds(blocks, first, kept);
        // The slots freed at the back are used again, in order.
        for (std::size_t i = 0; i < 11; ++i)
            blocks.PushBack(Text(first + kept + i));
        ExpectHolds(blocks, first, kept + 11);

        blocks.Clear();
        EXPECT_EQ(blocks.MemoryBytes(), 0u);
        for (std::size_t i = 0; i < 6; ++i)
            blocks.PushBack(Text(i));
        ExpectHolds(blocks, 0, 6);

        TSmallBlocks moved(std::move(blocks));
        EXPECT_TRUE(blocks.Empty());
        ExpectHolds(moved, 0, 6);
    }
}

// The grid's rows and its mode-run starts over several blocks of rows: every row reads back as it
// was written, the runs continue over block boundaries, and a cleared grid fills again from row 1.
TEST(DataGridBlocks, GridRowsAndRunsAcrossBlocks) {
    const std::size_t block = TDataGridBlocks<TDataRow>::BlockSize;
    const int rows = int(2 * block + 7);
    // Mode changes just before, on and just after the first block boundary.
    const int changes[] = {int(block) - 2, int(block), int(block) + 1};
    auto modeOf = [&](int r) {
        int mode = 12;
        for (const int c : changes)
            mode += r >= c ? 1 : 0;
        return mode;
    };
    TDataGrid grid;
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "first fill" : "after ClearData");
        for (int r = 1; r <= rows; ++r) {
            TDataRow row;
            row[TProperty::Time] = r + 0.5 * pass;
            row[TProperty::Mode] = modeOf(r);
            ASSERT_EQ(grid.AddRow(row), r);
        }
        ASSERT_EQ(grid.RowCount(), rows + 1);
        for (int r = 1; r <= rows; ++r) {
            double t = 0;
            ASSERT_TRUE(grid.Duration(r, t));
            ASSERT_EQ(t, r + 0.5 * pass) << "row " << r;
        }
        EXPECT_EQ(grid.RunStart(changes[0] - 1), 2);
        EXPECT_EQ(grid.RunStart(changes[0] + 1), changes[0]);
        EXPECT_EQ(grid.RunStart(changes[1]), changes[1]);
        EXPECT_EQ(grid.RunStart(rows), changes[2]);

        // Rewriting a row's mode splits its run from there on.
        grid.SetValue(int(block) + 100, TProperty::Mode, 14);
        EXPECT_EQ(grid.RunStart(int(block) + 99), changes[2]);
        EXPECT_EQ(grid.RunStart(int(block) + 100), int(block) + 100);
        EXPECT_EQ(grid.RunStart(int(block) + 101), int(block) + 101);
        EXPECT_EQ(grid.RunStart(rows), int(block) + 101);

        grid.ClearData();
        EXPECT_EQ(grid.RowCount(), 1);
        double t = 0;
        EXPECT_FALSE(grid.Duration(1, t));
    }
}

} // namespace
