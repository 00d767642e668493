// The depth sort of the star field under clouds that have blown up: positions and camera made of NaN,
// infinities, huge and tiny numbers, stars dying and the star count changing between frames, sorted
// frame after frame (the sort starts from the previous frame's order). After every frame the table
// must list every living star exactly once, with its true distance, farthest first and NaN before all.
#pragma once

#include <cmath>
#include <cstring>
#include <limits>

#include "fuzz_input.h"
#include "galaxy.h"
#include "graphics.h"
#include "utility.h"

constexpr int FuzzMaxCloud = 300;   // stars of one input: enough for several merge passes
constexpr int FuzzMaxFrames = 64;

// A coordinate: one of the values a blown-up cloud produces, or an ordinary one.
inline double FuzzCoordinate(FuzzBytes* in) {
    const std::uint8_t kind = FuzzTake(in);
    switch (kind % 16) {
    case 0: return std::numeric_limits<double>::quiet_NaN();
    case 1: return std::numeric_limits<double>::infinity();
    case 2: return -std::numeric_limits<double>::infinity();
    case 3: return std::numeric_limits<double>::max();
    case 4: return -0.0;
    case 5: return std::numeric_limits<double>::denorm_min();
    case 6: {
        std::uint64_t bits = static_cast<std::uint64_t>(FuzzTake32(in)) << 32;
        bits |= FuzzTake32(in);
        double raw;
        std::memcpy(&raw, &bits, sizeof raw);
        return raw;
    }
    default: return static_cast<signed char>(FuzzTake(in)) / 16.0;
    }
}

inline void FuzzPlaceStar(FuzzBytes* in, int i) {
    Star[i].Pos = {FuzzCoordinate(in), FuzzCoordinate(in), FuzzCoordinate(in)};
    Star[i].Alive = FuzzTake(in) % 4 == 0 ? 0 : 1;
}

// The first fault of the sorted table, or null.
inline const char* SortedTableFault() {
    static bool listed[MaxStars];
    const int cloud = G.NumStars < MaxStars ? G.NumStars : MaxStars;
    int living = 0;
    for (int i = 0; i < cloud; ++i) {
        living += Star[i].Alive == 1 ? 1 : 0;
        listed[i] = false;
    }
    if (G.NumVisible != living) return "NumVisible is not the number of living stars";
    for (int k = 0; k < G.NumVisible; ++k) {
        const strStarIdx& e = StarIdx[k];
        if (e.Index < 0 || e.Index >= cloud) return "an entry refers outside the cloud";
        if (Star[e.Index].Alive != 1) return "an entry refers to a dead star";
        if (listed[e.Index]) return "a star is listed twice";
        listed[e.Index] = true;
        const strBod& p = Star[e.Index].Pos;
        const double d = dist(G.ShipPos.x, G.ShipPos.y, G.ShipPos.z, p.x, p.y, p.z);
        if (!(d == e.Dist || (std::isnan(d) && std::isnan(e.Dist)))) return "an entry holds a stale distance";
        if (k == 0) continue;
        const double before = StarIdx[k - 1].Dist;
        if (std::isnan(e.Dist) && !std::isnan(before)) return "a NaN distance after a number";
        if (!std::isnan(e.Dist) && !std::isnan(before) && e.Dist > before) return "a nearer star drawn first";
    }
    return nullptr;
}

// The first fault of one input, or null.
inline const char* FuzzStarSort(const std::uint8_t* data, std::size_t size) {
    FuzzBytes in{data, size};
    int cloud = 1 + static_cast<int>(FuzzTake16(&in) % FuzzMaxCloud);
    G.NumStars = cloud;
    G.NumVisible = 0;
    G.ShipPos = {FuzzCoordinate(&in), FuzzCoordinate(&in), FuzzCoordinate(&in)};
    for (int i = 0; i < cloud; ++i) FuzzPlaceStar(&in, i);
    SortStarsFast();
    const char* fault = SortedTableFault();

    // Each later frame: an operation byte, then its operands.
    for (int frame = 0; frame < FuzzMaxFrames && fault == nullptr && in.size > 0; ++frame) {
        const std::uint8_t op = FuzzTake(&in);
        const int operand = static_cast<int>(FuzzTake16(&in) % FuzzMaxCloud);
        const int star = operand % cloud;
        switch (op % 4) {
        case 0: FuzzPlaceStar(&in, star); break;
        case 1: G.ShipPos = {FuzzCoordinate(&in), FuzzCoordinate(&in), FuzzCoordinate(&in)}; break;
        case 2: Star[star].Alive = 1 - Star[star].Alive; break;
        default:
            G.NumStars = 1 + operand;
            for (int i = cloud; i < G.NumStars; ++i) FuzzPlaceStar(&in, i);
            cloud = cloud > G.NumStars ? cloud : G.NumStars;
            break;
        }
        SortStarsFast();
        fault = SortedTableFault();
    }
    return fault;
}
