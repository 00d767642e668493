// The geometry kit: normalisation, rotation about an axis, and the 4x4 matrix algebra.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "utility.h"

namespace {

constexpr double FloatAccuracy = 1e-6;

void ExpectVecNear(const strBod& v, double x, double y, double z, double tol = FloatAccuracy) {
    EXPECT_NEAR(v.x, x, tol);
    EXPECT_NEAR(v.y, y, tol);
    EXPECT_NEAR(v.z, z, tol);
}

double Length(const strBod& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// Rodrigues' rotation in double precision: the reference the float-coefficient rotation must match.
strBod ReferenceRotation(double degrees, strBod axis, strBod v) {
    const double n = Length(axis);
    axis = {axis.x / n, axis.y / n, axis.z / n};
    const double a = degrees * M_PI / 180.0;
    const double c = std::cos(a), s = std::sin(a);
    const double d = axis.x * v.x + axis.y * v.y + axis.z * v.z;
    const strBod cross = {axis.y * v.z - axis.z * v.y, axis.z * v.x - axis.x * v.z,
                          axis.x * v.y - axis.y * v.x};
    return {v.x * c + cross.x * s + axis.x * d * (1 - c), v.y * c + cross.y * s + axis.y * d * (1 - c),
            v.z * c + cross.z * s + axis.z * d * (1 - c)};
}

void Identity(float* m) {
    for (int i = 0; i < 16; ++i) m[i] = 0.0f;
    for (int i = 0; i < 4; ++i) m[idx(i, i)] = 1.0f;
}

void Diagonal(float* m, float a, float b, float c, float d) {
    Identity(m);
    m[idx(0, 0)] = a;
    m[idx(1, 1)] = b;
    m[idx(2, 2)] = c;
    m[idx(3, 3)] = d;
}

// The rotation matrix whose columns are the images of the unit axes under Rotate.
void RotationMatrix(double degrees, strBod axis, float* m) {
    Identity(m);
    const strBod unit[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int c = 0; c < 3; ++c) {
        strBod v = unit[c];
        strBod pivot = axis;
        Rotate(degrees, &pivot, &v);
        m[idx(0, c)] = static_cast<float>(v.x);
        m[idx(1, c)] = static_cast<float>(v.y);
        m[idx(2, c)] = static_cast<float>(v.z);
    }
}

// The determinant as the Leibniz sum over all 24 permutations, in double precision.
double PermutationDeterminant(const float* m) {
    int p[4] = {0, 1, 2, 3};
    double sum = 0;
    do {
        int inversions = 0;
        for (int i = 0; i < 4; ++i)
            for (int j = i + 1; j < 4; ++j) inversions += p[i] > p[j] ? 1 : 0;
        double term = (inversions % 2) != 0 ? -1.0 : 1.0;
        for (int r = 0; r < 4; ++r) term *= m[idx(r, p[r])];
        sum += term;
    } while (std::next_permutation(p, p + 4));
    return sum;
}

}  // namespace

TEST(GeometryNormalize, ScalesToUnitLengthWithSinglePrecisionLength) {
    strBod v = {3, 4, 0};
    Normalize(&v);
    ExpectVecNear(v, 0.6, 0.8, 0.0);

    // The length is held as a float, so the result is the division by the rounded length.
    strBod w = {1, 1, 0};
    Normalize(&w);
    const double floatLength = static_cast<float>(std::sqrt(2.0));
    EXPECT_EQ(w.x, 1.0 / floatLength);
    EXPECT_EQ(w.y, 1.0 / floatLength);
    EXPECT_NE(w.x, 1.0 / std::sqrt(2.0));
}

TEST(GeometryNormalize, ZeroAndNaNVectorsAreLeftAsTheyAre) {
    strBod zero = {0, 0, 0};
    Normalize(&zero);
    EXPECT_EQ(zero.x, 0.0);
    EXPECT_EQ(zero.y, 0.0);
    EXPECT_EQ(zero.z, 0.0);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    strBod v = {nan, 1, 2};
    Normalize(&v);
    EXPECT_TRUE(std::isnan(v.x));
    EXPECT_EQ(v.y, 1.0);
    EXPECT_EQ(v.z, 2.0);
}

TEST(GeometryAngles, ConversionsUseSinglePrecisionPi) {
    EXPECT_EQ(degrad(180), static_cast<double>(3.1415927f));
    EXPECT_NE(degrad(180), M_PI);
    EXPECT_DOUBLE_EQ(raddeg(degrad(180)), 180.0);
    EXPECT_DOUBLE_EQ(degrad(90), static_cast<double>(Pi) / 2);
    EXPECT_DOUBLE_EQ(raddeg(static_cast<double>(Pi) / 4), 45.0);
}

TEST(GeometryRotate, QuarterTurnsFollowTheRightHandRule) {
    strBod axisZ = {0, 0, 1};
    strBod v = {1, 0, 0};
    Rotate(90, &axisZ, &v);
    ExpectVecNear(v, 0, 1, 0);

    strBod axisX = {1, 0, 0};
    strBod w = {0, 0, 1};
    Rotate(90, &axisX, &w);
    ExpectVecNear(w, 0, -1, 0);

    strBod axisY = {0, 1, 0};
    strBod u = {0, 0, 1};
    Rotate(90, &axisY, &u);
    ExpectVecNear(u, 1, 0, 0);
}

TEST(GeometryRotate, ArbitraryAxisMatchesDoublePrecisionReference) {
    const strBod axes[] = {{1, 2, 3}, {-0.3, 0.5, -0.8}, {0, 0, -4}, {1, 1, 0}};
    const double angles[] = {-170, -33.3, 0.25, 47, 90, 123.456};
    const strBod v0 = {0.7, -1.2, 2.5};
    for (const strBod& axis : axes) {
        for (double angle : angles) {
            strBod pivot = axis;
            strBod v = v0;
            Rotate(angle, &pivot, &v);
            const strBod ref = ReferenceRotation(angle, axis, v0);
            ExpectVecNear(v, ref.x, ref.y, ref.z, 1e-5);
            EXPECT_NEAR(Length(v), Length(v0), 1e-5);
        }
    }
}

TEST(GeometryRotate, NormalisesTheCallersAxisInPlace) {
    strBod axis = {0, 0, 2};
    strBod v = {1, 0, 0};
    Rotate(30, &axis, &v);
    EXPECT_EQ(axis.x, 0.0);
    EXPECT_EQ(axis.y, 0.0);
    EXPECT_EQ(axis.z, 1.0);
    // The doubled axis turns by the angle, not by twice it.
    ExpectVecNear(v, std::cos(M_PI / 6), std::sin(M_PI / 6), 0);
}

TEST(GeometryRotate, VectorAlongTheAxisStays) {
    strBod axis = {2, -1, 0.5};
    strBod v = {4, -2, 1};
    Rotate(77, &axis, &v);
    ExpectVecNear(v, 4, -2, 1, 1e-5);
}

TEST(GeometryRotate, ZeroAxisScalesByCosineAndNaNAxisDoesNotCrash) {
    strBod zero = {0, 0, 0};
    strBod v = {2, -4, 6};
    Rotate(60, &zero, &v);
    EXPECT_EQ(zero.x, 0.0);
    EXPECT_EQ(zero.y, 0.0);
    EXPECT_EQ(zero.z, 0.0);
    const double c = static_cast<float>(std::cos(degrad(60)));
    ExpectVecNear(v, 2 * c, -4 * c, 6 * c, 1e-12);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    strBod bad = {nan, 0, 1};
    strBod w = {1, 0, 0};
    Rotate(45, &bad, &w);
    EXPECT_TRUE(std::isnan(bad.x));
    EXPECT_EQ(bad.z, 1.0);
}

TEST(GeometryRotate, TurnThereAndBackRestoresTheVector) {
    strBod v = {0.1, 0.9, -0.4};
    const strBod v0 = v;
    strBod axis = {0.3, -0.2, 0.9};
    Rotate(71, &axis, &v);
    Rotate(-71, &axis, &v);
    ExpectVecNear(v, v0.x, v0.y, v0.z);
}

TEST(GeometryCosAngle, IsThePlainDotProduct) {
    const strBod a = {2, 0, 0}, b = {3, 0, 0};
    EXPECT_EQ(CosAngle(&a, &b), 6.0);
    const strBod c = {1, -2, 3}, d = {4, 5, -6};
    EXPECT_EQ(CosAngle(&c, &d), 4.0 - 10.0 - 18.0);
}

TEST(GeometryMatrix, ColumnMajorIndexAndTripleProduct) {
    EXPECT_EQ(idx(1, 2), 9);
    EXPECT_EQ(idx(0, 3), 12);
    EXPECT_EQ(idx(3, 0), 3);
    float m[16];
    for (int i = 0; i < 16; ++i) m[i] = static_cast<float>(i + 1);
    // (0,1) is m[4] = 5, (2,2) is m[10] = 11, (3,3) is m[15] = 16.
    EXPECT_EQ(Mt(m, 0, 1, 2, 2, 3, 3), 5.0 * 11.0 * 16.0);
}

TEST(GeometryMatrix, ProductWithIdentityAndTranslation) {
    float id[16], a[16], out[16];
    Identity(id);
    for (int i = 0; i < 16; ++i) a[i] = static_cast<float>(i * i) - 7.5f;
    MultMatrix(a, id, out);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(out[i], a[i]);
    MultMatrix(id, a, out);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(out[i], a[i]);

    float t[16];
    Identity(t);
    t[12] = 1;
    t[13] = 2;
    t[14] = 3;
    MultMatrix(t, id, out);
    EXPECT_EQ(out[12], 1.0f);
    EXPECT_EQ(out[13], 2.0f);
    EXPECT_EQ(out[14], 3.0f);
}

TEST(GeometryMatrix, ProductOrderIsThatOfOpenGL) {
    // scale * translate moves first, then scales the translation; translate * scale does not.
    float s[16], t[16], out[16];
    Diagonal(s, 2, 3, 4, 1);
    Identity(t);
    t[12] = 1;
    t[13] = 2;
    t[14] = 3;
    MultMatrix(s, t, out);
    EXPECT_EQ(out[12], 2.0f);
    EXPECT_EQ(out[13], 6.0f);
    EXPECT_EQ(out[14], 12.0f);
    EXPECT_EQ(out[idx(1, 1)], 3.0f);
    MultMatrix(t, s, out);
    EXPECT_EQ(out[12], 1.0f);
    EXPECT_EQ(out[13], 2.0f);
    EXPECT_EQ(out[14], 3.0f);
}

TEST(GeometryMatrix, DeterminantOfKnownMatrices) {
    float m[16];
    Identity(m);
    EXPECT_EQ(Determinant(m), 1.0);
    Diagonal(m, 2, 4, 5, 1);
    EXPECT_EQ(Determinant(m), 40.0);

    // Upper triangular: the product of the diagonal whatever lies above it.
    Diagonal(m, 2, 3, 4, 5);
    m[idx(0, 1)] = 7;
    m[idx(0, 3)] = -2;
    m[idx(1, 2)] = 9;
    m[idx(2, 3)] = 1.5f;
    EXPECT_DOUBLE_EQ(Determinant(m), 120.0);

    // Swapping two rows of the identity flips the sign.
    float p[16];
    Identity(p);
    p[idx(0, 0)] = p[idx(1, 1)] = 0;
    p[idx(0, 1)] = p[idx(1, 0)] = 1;
    EXPECT_EQ(Determinant(p), -1.0);

    // Two equal rows: singular.
    float q[16];
    for (int i = 0; i < 16; ++i) q[i] = static_cast<float>((i * 7) % 5 + 1);
    for (int c = 0; c < 4; ++c) q[idx(2, c)] = q[idx(0, c)];
    EXPECT_EQ(Determinant(q), 0.0);
}

TEST(GeometryMatrix, DeterminantMatchesTheSignedPermutationSum) {
    const float samples[][16] = {
        {2, 1, 0, 0, -1, 3, 0.5f, 0, 0.25f, 0, 1.5f, 0, 4, -2, 7, 1},
        {1, -3, 2, 5, 0.5f, 4, -1, 2, 3, 3, -2, 1, -6, 1, 0.75f, 2},
    };
    for (const float* m : samples) {
        float mt[16];
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) mt[idx(r, c)] = m[idx(c, r)];
        const double ref = PermutationDeterminant(m);
        EXPECT_NE(ref, 0.0);
        EXPECT_NEAR(Determinant(m), ref, 1e-9 * std::fabs(ref));
        EXPECT_NEAR(Determinant(mt), ref, 1e-9 * std::fabs(ref));
    }
}

TEST(GeometryInvert, DiagonalMatrix) {
    float m[16], inv[16];
    Diagonal(m, 2, 4, 5, 1);
    InvertMatrix(m, inv);
    float expected[16];
    Diagonal(expected, 0.5f, 0.25f, 0.2f, 1.0f);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(inv[i], expected[i]) << "element " << i;
}

TEST(GeometryInvert, InverseOfARotationIsItsTranspose) {
    float m[16], inv[16];
    RotationMatrix(37, {1, -2, 0.5}, m);
    EXPECT_NEAR(Determinant(m), 1.0, 1e-5);
    InvertMatrix(m, inv);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(inv[idx(r, c)], m[idx(c, r)], 1e-6) << r << "," << c;
}

TEST(GeometryInvert, GeneralMatrixTimesInverseIsIdentity) {
    // A non-symmetric affine matrix with a translation: every cofactor position matters.
    float m[16] = {2, 1, 0, 0, -1, 3, 0.5f, 0, 0.25f, 0, 1.5f, 0, 4, -2, 7, 1};
    float inv[16], product[16], id[16];
    InvertMatrix(m, inv);
    MultMatrix(m, inv, product);
    Identity(id);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(product[i], id[i], 1e-6) << "element " << i;
    MultMatrix(inv, m, product);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(product[i], id[i], 1e-6) << "element " << i;
}
