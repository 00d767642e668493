// utility: the small numeric kit of Kelvra. The program's own 15-bit random generator, uniform random
// numbers, distance, the mass laws of a star's colour and size, and vector and 4x4 matrix operations.
// Nothing here keeps state of its own except the generator; nothing allocates or fails.
#pragma once

struct strColor;

// A vector of three doubles: camera position and axes, star positions, velocities and forces.
struct strBod {
    double x, y, z;
};

// pi as the single-precision constant; every degree/radian conversion of the program uses it.
constexpr float Pi = 3.1415927f;

// ---- Random numbers -------------------------------------------------------------------------------

// Largest value of the generator; the random fractions divide by it.
constexpr int RandMax = 32767;

// Starts the generator's sequence from a seed (the Windows C runtime's srand).
void RandSeed(unsigned int seed);
// Next value of the sequence, 0 to 32767 (the Windows C runtime's rand: state*214013+2531011).
int RandNext();

// Uniform double in [a, b], both ends included.
double drand(double a, double b);
// Seeds the generator from the calendar time in seconds and stores that seed in G.Seed.
void Randomize();
// Euclidean distance of (x1, y1, z1) and (x2, y2, z2).
double dist(double x1, double y1, double z1, double x2, double y2, double z2);

// ---- Mass laws --------------------------------------------------------------------------------------

// Colour of a star of `mass` kg: red for light stars through orange, yellow and grey-white to bluish white.
void MassColor(double mass, strColor* color);
// Half the side of a star's sprite in scene units (0.002 to 0.004), growing with the cube root of the mass.
double MassSize(double mass);

// ---- Vectors ------------------------------------------------------------------------------------------

// Scales v to unit length (single-precision length); a zero or NaN length leaves v unchanged.
void Normalize(strBod* v);
// Degrees to radians, with single-precision pi.
double degrad(double degrees);
// Normalises *axis in place, then turns *v about it by `angle` degrees (right-hand rule).
void Rotate(double angle, strBod* axis, strBod* v);
// Dot product a.b (no normalisation).
double CosAngle(const strBod* a, const strBod* b);

// ---- 4x4 matrices: 16 floats, column-major, element (r, c) at r + 4c ----------------------------------

// Index of row r, column c.
int idx(int r, int c);
// Product of three elements of m.
double Mt(const float* m, int r1, int c1, int r2, int c2, int r3, int c3);
// Closed-form determinant.
double Determinant(const float* m);
// dst = inverse of src by the adjugate; src must be non-singular and differ from dst.
void InvertMatrix(const float* src, float* dst);

// ---- Offered, not called by the program -----------------------------------------------------------

// Uniform float in [a, b], both ends included.
float frand(float a, float b);
// Uniform int in [a, b]; a when a == b, without drawing. Needs a <= b.
int irand(int a, int b);
// Radians to degrees, with single-precision pi.
double raddeg(double radians);
// out = a * b; out must be neither a nor b.
void MultMatrix(const float* a, const float* b, float* out);
