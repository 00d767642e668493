// The geometry kit of the camera: vectors of doubles, degree/radian conversion, rotation about an
// arbitrary axis, and closed-form 4x4 matrix algebra on column-major float matrices.
#include <array>
#include <cmath>

#include "utility.h"

namespace {

constexpr double HalfTurnDegrees = 180.0;
constexpr int MatrixSide = 4;

// For each struck-out row or column of a 4x4 matrix, the three that remain, in order. Picking them
// from a table keeps the minors free of branches.
constexpr std::array<std::array<int, 3>, MatrixSide> Remaining = {{
    {{1, 2, 3}},
    {{0, 2, 3}},
    {{0, 1, 3}},
    {{0, 1, 2}},
}};

// Determinant of the 3x3 matrix left when row `row` and column `col` are struck out of m, written
// out as the six signed triple products of the rule of Sarrus.
double Minor3(const float* m, int row, int col) {
    const int r0 = Remaining[row][0], r1 = Remaining[row][1], r2 = Remaining[row][2];
    const int c0 = Remaining[col][0], c1 = Remaining[col][1], c2 = Remaining[col][2];
    return Mt(m, r0, c0, r1, c1, r2, c2) + Mt(m, r0, c1, r1, c2, r2, c0) +
           Mt(m, r0, c2, r1, c0, r2, c1) - Mt(m, r0, c2, r1, c1, r2, c0) -
           Mt(m, r0, c0, r1, c2, r2, c1) - Mt(m, r0, c1, r1, c0, r2, c2);
}

// (-1)^(r+c) as a factor.
double CofactorSign(int r, int c) { return ((r + c) & 1) != 0 ? -1.0 : 1.0; }

}  // namespace

void Normalize(strBod* v) {
    // The length is kept in single precision, so a normalised vector is a unit one only to float
    // accuracy; the camera renormalises its axes every frame, which keeps that error from growing.
    const float length = static_cast<float>(std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z));
    // A zero length, or one that is not a number, has no direction to keep: leave v as it is.
    if (!(length > 0.0f)) return;
    v->x /= length;
    v->y /= length;
    v->z /= length;
}

double degrad(double degrees) { return degrees / HalfTurnDegrees * static_cast<double>(Pi); }

double raddeg(double radians) { return radians * HalfTurnDegrees / static_cast<double>(Pi); }

void Rotate(double angle, strBod* axis, strBod* v) {
    const strBod old = *v;
    Normalize(axis);

    const double a = degrad(angle);
    const float c = static_cast<float>(std::cos(a));
    const float s = static_cast<float>(std::sin(a));
    const float t = 1.0f - c;
    const float x = static_cast<float>(axis->x);
    const float y = static_cast<float>(axis->y);
    const float z = static_cast<float>(axis->z);

    const float r00 = c + x * x * t, r01 = x * y * t - z * s, r02 = x * z * t + y * s;
    const float r10 = x * y * t + z * s, r11 = c + y * y * t, r12 = y * z * t - x * s;
    const float r20 = x * z * t - y * s, r21 = y * z * t + x * s, r22 = c + z * z * t;

    v->x = r00 * old.x + r01 * old.y + r02 * old.z;
    v->y = r10 * old.x + r11 * old.y + r12 * old.z;
    v->z = r20 * old.x + r21 * old.y + r22 * old.z;
}

double CosAngle(const strBod* a, const strBod* b) { return a->x * b->x + a->y * b->y + a->z * b->z; }

int idx(int r, int c) { return r + MatrixSide * c; }

double Mt(const float* m, int r1, int c1, int r2, int c2, int r3, int c3) {
    return static_cast<double>(m[idx(r1, c1)]) * m[idx(r2, c2)] * m[idx(r3, c3)];
}

void MultMatrix(const float* a, const float* b, float* out) {
    for (int r = 0; r < MatrixSide; ++r) {
        for (int c = 0; c < MatrixSide; ++c) {
            double sum = 0.0;
            for (int k = 0; k < MatrixSide; ++k) sum += static_cast<double>(a[idx(r, k)]) * b[idx(k, c)];
            out[idx(r, c)] = static_cast<float>(sum);
        }
    }
}

double Determinant(const float* m) {
    // Expansion along row 0: the 24 products of the full determinant, four groups of six.
    double det = 0.0;
    for (int c = 0; c < MatrixSide; ++c) det += CofactorSign(0, c) * m[idx(0, c)] * Minor3(m, 0, c);
    return det;
}

void InvertMatrix(const float* src, float* dst) {
    // The adjugate is the transposed cofactor matrix: entry (r, c) comes from striking out row c
    // and column r.
    for (int r = 0; r < MatrixSide; ++r)
        for (int c = 0; c < MatrixSide; ++c)
            dst[idx(r, c)] = static_cast<float>(CofactorSign(r, c) * Minor3(src, c, r));
    const double f = 1.0 / Determinant(src);
    for (int i = 0; i < MatrixSide * MatrixSide; ++i) dst[i] = static_cast<float>(dst[i] * f);
}
