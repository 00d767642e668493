// utility: the program's own random generator, uniform random numbers, distance and the mass laws
// that give a star its colour and sprite size.
#include "utility.h"

#include <cmath>
#include <cstdint>
#include <ctime>

#include "galaxy.h"

namespace {

// The Windows C runtime's linear congruential generator, kept here so that a seed builds the same
// cloud on every platform: glibc's rand() has a different sequence and range.
constexpr std::uint32_t RandMultiplier = 214013u;
constexpr std::uint32_t RandIncrement = 2531011u;
constexpr int RandShift = 16;

// The runtime's state before any seeding is 1.
std::uint32_t RandState = 1u;

// Mass laws, in solar masses. The program has always used these as single-precision constants in
// double arithmetic; widening the float literals keeps the exact values its colours were tuned with.
constexpr double LightestMass = static_cast<double>(0.1f);  // 0.10000000149011612
constexpr double HeaviestMass = 20.0;
constexpr double RedTopMass = 0.5;
constexpr double OrangeTopMass = static_cast<double>(0.8f);  // 0.800000011920929
constexpr double YellowTopMass = static_cast<double>(1.2f);  // 1.2000000476837158
constexpr double WhiteTopMass = 4.0;

constexpr double BandWidthRed = static_cast<double>(0.4f);     // 0.4000000059604645, 0.1 .. 0.5
constexpr double BandWidthOrange = static_cast<double>(0.3f);  // 0.30000001192092896, 0.5 .. 0.8
constexpr double BandWidthYellow = static_cast<double>(0.4f);  // 0.4000000059604645, 0.8 .. 1.2
constexpr double BandWidthWhite = static_cast<double>(2.8f);   // 2.799999952316284, 1.2 .. 4
constexpr double BlueMassScale = 0.0625;  // 1/16 per solar mass above 4: reaches 1 at 20

constexpr double DimColor = 0.5;   // red, orange and yellow start here at the bottom of their band
constexpr double WarmColorRise = 0.5;  // ... and reach full intensity at its top
constexpr double GreyColor = static_cast<double>(0.7f);       // 0.699999988079071
constexpr double GreyColorRise = static_cast<double>(0.3f);   // 0.30000001192092896
constexpr double OrangeGreenShare = 0.5;
constexpr double BlueStarRedShare = static_cast<double>(0.58f);    // 0.5799999833106995
constexpr double BlueStarGreenShare = static_cast<double>(0.82f);  // 0.8199999928474426

// Sprite half-sides in scene units and the cube-root law between them.
constexpr double SmallestSize = static_cast<double>(0.002f);  // 0.0020000000949949026
constexpr double SizeRange = static_cast<double>(0.002f);
constexpr double SizeExponent = static_cast<double>(1.0f / 3.0f);  // 0.3333333432674408

// r / 32767: 32768 equally spaced fractions, 0 and 1 included.
double RandFraction() {
    return static_cast<double>(RandNext()) / RandMax;
}

// Mass in solar masses, held to the range the laws are defined on.
double ClampedSolarMasses(double mass) {
    double a = mass / G.SolarMass;
    if (a < LightestMass) a = LightestMass;
    if (a > HeaviestMass) a = HeaviestMass;
    return a;
}

void SetColor(strColor* color, double red, double green, double blue) {
    color->Red = static_cast<float>(red);
    color->Green = static_cast<float>(green);
    color->Blue = static_cast<float>(blue);
}

}  // namespace

void RandSeed(unsigned int seed) {
    RandState = seed;
}

int RandNext() {
    RandState = RandState * RandMultiplier + RandIncrement;
    return static_cast<int>((RandState >> RandShift) & static_cast<std::uint32_t>(RandMax));
}

float frand(float a, float b) {
    return static_cast<float>(RandFraction() * (static_cast<double>(b) - a) + a);
}

double drand(double a, double b) {
    return RandFraction() * (b - a) + a;
}

// The span is taken in 64 bits so that irand(INT_MIN, INT_MAX) cannot overflow. An empty range
// (b < a) gives a without drawing, like a == b, rather than dividing by zero.
int irand(int a, int b) {
    if (b <= a) return a;
    const std::int64_t span = static_cast<std::int64_t>(b) - a + 1;
    return static_cast<int>(a + RandNext() % span);
}

void Randomize() {
    const std::time_t now = std::time(nullptr);
    G.Seed = static_cast<int>(static_cast<std::uint32_t>(now));
    RandSeed(static_cast<unsigned int>(G.Seed));
}

double dist(double x1, double y1, double z1, double x2, double y2, double z2) {
    const double dx = x2 - x1;
    const double dy = y2 - y1;
    const double dz = z2 - z1;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

void MassColor(double mass, strColor* color) {
    const double a = ClampedSolarMasses(mass);
    if (a < RedTopMass) {
        SetColor(color, DimColor + WarmColorRise * (a - LightestMass) / BandWidthRed, 0, 0);
    } else if (a < OrangeTopMass) {
        const double v = DimColor + WarmColorRise * (a - RedTopMass) / BandWidthOrange;
        SetColor(color, v, v * OrangeGreenShare, 0);
    } else if (a < YellowTopMass) {
        const double v = DimColor + WarmColorRise * (a - OrangeTopMass) / BandWidthYellow;
        SetColor(color, v, v, 0);
    } else if (a < WhiteTopMass) {
        const double v = GreyColor + GreyColorRise * (a - YellowTopMass) / BandWidthWhite;
        SetColor(color, v, v, v);
    } else {
        const double t = GreyColor + GreyColorRise * (a - WhiteTopMass) * BlueMassScale;
        SetColor(color, t * BlueStarRedShare, t * BlueStarGreenShare, t);
    }
}

double MassSize(double mass) {
    const double a = ClampedSolarMasses(mass);
    const double lightest = std::pow(LightestMass, SizeExponent);
    const double heaviest = std::pow(HeaviestMass, SizeExponent);
    return SmallestSize + SizeRange * (std::pow(a, SizeExponent) - lightest) / (heaviest - lightest);
}
