// The depth sort of the fast star field against qsort with StarIdxCompare, frame after frame, and
// on tables and clouds that the previous frame's order no longer describes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "galaxy.h"
#include "graphics.h"
#include "utility.h"

namespace {

strStarIdx Reference[MaxStars];
int ReferenceCount = 0;

void MakeCloud(int stars, int seed) {
    InitParameters();
    std::memset(Star, 0, sizeof Star);
    G.NumStars = stars;
    G.Radius = 40 * G.LightYear;
    RandSeed(seed);
    GenerateGalaxy();
}

// The per-star path's steps 6 and 7: collection in index order, then qsort.
void ReferenceSort() {
    ReferenceCount = 0;
    for (int i = 0; i < G.NumStars; ++i) {
        if (Star[i].Alive != 1) continue;
        const strBod& p = Star[i].Pos;
        Reference[ReferenceCount++] = {i, dist(G.ShipPos.x, G.ShipPos.y, G.ShipPos.z, p.x, p.y, p.z)};
    }
    std::qsort(Reference, ReferenceCount, sizeof(strStarIdx), StarIdxCompare);
}

// The fast sort gives qsort's table entry for entry; the clouds here have no equal distances.
void ExpectReferenceOrder(const char* when) {
    SortStarsFast();
    ReferenceSort();
    ASSERT_EQ(G.NumVisible, ReferenceCount) << when;
    for (int k = 0; k < ReferenceCount; ++k) {
        ASSERT_EQ(StarIdx[k].Index, Reference[k].Index) << when << ", entry " << k;
        ASSERT_EQ(std::memcmp(&StarIdx[k].Dist, &Reference[k].Dist, sizeof(double)), 0) << when << ", entry " << k;
    }
}

// Every living star exactly once, each entry holding its star's distance, NaN first, then farthest first.
void ExpectValidTable() {
    static int seen[MaxStars];
    std::memset(seen, 0, sizeof seen);
    int living = 0;
    for (int i = 0; i < G.NumStars; ++i) living += Star[i].Alive == 1 ? 1 : 0;
    ASSERT_EQ(G.NumVisible, living);
    for (int k = 0; k < G.NumVisible; ++k) {
        const int i = StarIdx[k].Index;
        ASSERT_TRUE(i >= 0 && i < G.NumStars && Star[i].Alive == 1) << "entry " << k;
        ASSERT_EQ(seen[i]++, 0) << "star " << i << " listed twice";
        if (k > 0) {
            ASSERT_LE(StarIdxCompare(&StarIdx[k - 1], &StarIdx[k]), 0) << "entries " << k - 1 << ", " << k;
        }
    }
}

}  // namespace

TEST(FastSort, FollowsACameraFlyingThroughTheCloud) {
    MakeCloud(MaxStars, 11);
    G.NumVisible = 0;
    // About the top speed of the camera at 25 frames a second.
    for (int frame = 0; frame < 40; ++frame) {
        G.ShipPos = {0.3 - 0.002 * frame, 0.1, 2.0 - 0.01 * frame};
        ExpectReferenceOrder("flying");
    }
}

TEST(FastSort, FollowsStarsThatMove) {
    MakeCloud(2000, 12);
    G.NumVisible = 0;
    for (int frame = 0; frame < 20; ++frame) {
        for (int i = 0; i < G.NumStars; ++i) Star[i].Pos.x += 0.002 * std::sin(i + frame);
        ExpectReferenceOrder("moving stars");
    }
}

// A jump reorders the whole table: the frame leaves the insertion sort for the merge sort.
TEST(FastSort, SurvivesAJumpOfTheCamera) {
    MakeCloud(MaxStars, 13);
    G.ShipPos = {0, 0, 3};
    ExpectReferenceOrder("before the jump");
    G.ShipPos = {0, 0, -3};
    ExpectReferenceOrder("after the jump");
}

TEST(FastSort, RebuildsAfterTheCloudChanges) {
    MakeCloud(3000, 14);
    ExpectReferenceOrder("first cloud");
    Star[5].Alive = 0;
    Star[2999].Alive = 0;
    ExpectReferenceOrder("two stars dead");
    MakeCloud(1000, 15);
    ExpectReferenceOrder("a smaller cloud");
    MakeCloud(1000, 16);
    ExpectReferenceOrder("another cloud of the same size");
    G.NumStars = 0;
    SortStarsFast();
    EXPECT_EQ(G.NumVisible, 0);
}

// Whatever the table holds from elsewhere, the frame lists every living star once.
TEST(FastSort, RepairsATableThatListsStarsWrongly) {
    MakeCloud(500, 17);
    SortStarsFast();
    StarIdx[3].Index = StarIdx[4].Index;
    ExpectReferenceOrder("a star listed twice");
    StarIdx[7].Index = -1;
    ExpectReferenceOrder("an index below the table");
    StarIdx[8].Index = MaxStars + 5;
    ExpectReferenceOrder("an index past the table");
    G.NumVisible = MaxStars + 1;
    ExpectReferenceOrder("a count past the table");
}

// A cloud that has blown up: distances that are infinite or not numbers sort without harm.
TEST(FastSort, KeepsNotANumberAndInfinityInTheirPlaces) {
    MakeCloud(300, 18);
    SortStarsFast();
    Star[10].Pos.x = std::nan("");
    Star[20].Pos.y = INFINITY;
    Star[30].Pos.z = -INFINITY;
    Star[40].Pos = {std::nan(""), std::nan(""), std::nan("")};
    SortStarsFast();
    ExpectValidTable();
    EXPECT_TRUE(std::isnan(StarIdx[0].Dist) && std::isnan(StarIdx[1].Dist));
    EXPECT_TRUE(std::isinf(StarIdx[2].Dist) && std::isinf(StarIdx[3].Dist));
    SortStarsFast();
    ExpectValidTable();
    MakeCloud(300, 19);
    for (int i = 0; i < 300; i += 3) Star[i].Pos.x = std::nan("");
    SortStarsFast();
    ExpectValidTable();
}

void ExpectIndexOrder(const std::vector<int>& expected, const char* when) {
    ASSERT_EQ(G.NumVisible, static_cast<int>(expected.size())) << when;
    for (int k = 0; k < G.NumVisible; ++k) EXPECT_EQ(StarIdx[k].Index, expected[k]) << when << ", entry " << k;
}

// Equal distances keep the previous frame's order, also where it is not index order, so the table
// does not flicker between frames: a frame whose table still lists the living stars is sorted in
// place, and only a table that no longer does is collected afresh, in index order.
TEST(FastSort, EqualDistancesKeepTheirOrder) {
    MakeCloud(4, 20);
    Star[0].Pos = {0, 0, 0};
    Star[1].Pos = {1, 0, 3};
    Star[2].Pos = {-1, 0, 3};
    Star[3].Pos = {0, 0, 1};
    G.ShipPos = {0, 0, 3};
    G.NumVisible = 0;
    SortStarsFast();
    ExpectValidTable();
    ExpectIndexOrder({0, 3, 1, 2}, "first frame, collected");
    std::swap(StarIdx[2], StarIdx[3]);  // a previous frame that drew star 2 before star 1
    for (int frame = 0; frame < 3; ++frame) {
        SortStarsFast();
        ExpectIndexOrder({0, 3, 2, 1}, "a frame after one with the ties the other way round");
    }
    Star[0].Pos = {0, 0, 2.5};  // now the nearest: it moves past the ties, which stay as they were
    SortStarsFast();
    ExpectIndexOrder({3, 2, 1, 0}, "after star 0 came nearest");
    Star[3].Alive = 0;
    SortStarsFast();
    ExpectIndexOrder({1, 2, 0}, "after star 3 died, collected afresh");
}
