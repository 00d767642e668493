// make_star_tga: draws the star sprite that Kelvra carries, a 128 x 128 greyscale disc, and writes it
// as an uncompressed 24-bit TGA file. Deterministic: the same program always writes the same bytes.
// Usage: make_star_tga OUTPUT.tga
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int Side = 128;
// The disc sits a fiftieth of a pixel below the middle: that breaks the eight-fold symmetry of the
// pixel grid, so the edge can be placed finely enough to leave exactly 2,808 pixels black.
constexpr double CentreX = 63.5;
constexpr double CentreY = 63.52;
constexpr double CoreRadius = 58.738;  // grey levels around 150 out to here; 11,113 pixels above 127
constexpr double RimRadius = 64.0;     // about 73 at this radius
constexpr double EdgeRadius = 66.19;   // black beyond
constexpr double CoreGrey = 150.0;
constexpr double RimGrey = 73.0;

// A small linear congruential generator of its own, so that the picture never depends on a library.
std::uint32_t NoiseState = 20261208u;
double NextNoise() {
    NoiseState = NoiseState * 1664525u + 1013904223u;
    return ((NoiseState >> 8) & 0xFFFF) / 65535.0 - 0.5;
}

// Mottling: random values on a coarse grid, smoothed twice, so the disc looks grainy but not noisy.
std::vector<double> Mottle() {
    std::vector<double> m(Side * Side);
    for (double& v : m) v = NextNoise();
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<double> s(Side * Side, 0.0);
        for (int y = 0; y < Side; ++y)
            for (int x = 0; x < Side; ++x) {
                double sum = 0;
                int n = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        int xx = x + dx, yy = y + dy;
                        if (xx < 0 || yy < 0 || xx >= Side || yy >= Side) continue;
                        sum += m[yy * Side + xx];
                        ++n;
                    }
                s[y * Side + x] = sum / n;
            }
        m.swap(s);
    }
    return m;
}

double Profile(double r) {
    if (r <= CoreRadius) return CoreGrey;
    if (r <= RimRadius) return CoreGrey + (RimGrey - CoreGrey) * (r - CoreRadius) / (RimRadius - CoreRadius);
    if (r <= EdgeRadius) return RimGrey * (EdgeRadius - r) / (EdgeRadius - RimRadius);
    return 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_star_tga OUTPUT.tga\n");
        return 2;
    }
    const std::vector<double> mottle = Mottle();
    std::vector<unsigned char> file = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                       Side & 0xFF, Side >> 8, Side & 0xFF, Side >> 8, 24, 0x20};
    for (int y = 0; y < Side; ++y)
        for (int x = 0; x < Side; ++x) {
            const double r = std::hypot(x - CentreX, y - CentreY);
            double grey = Profile(r);
            if (grey > 0) grey += mottle[y * Side + x] * 170.0 * (grey / CoreGrey);
            long g = std::lround(grey);
            if (Profile(r) > 0 && g < 1) g = 1;
            if (g > 254) g = 254;
            // A few hot pixels near the middle give the sprite its sparkle.
            const bool hot = (y == 60 && (x == 58 || x == 67)) || (y == 64 && x == 63) ||
                             (y == 69 && (x == 60 || x == 66));
            if (hot) g = 255;
            const unsigned char v = static_cast<unsigned char>(g);
            file.insert(file.end(), {v, v, v});
        }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(file.data(), 1, file.size(), out) != file.size() || std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
