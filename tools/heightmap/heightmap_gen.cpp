// Writes the viewer's default height map: a fractal landscape as a 1024 x 768
// 8-bit RGB PNG. Red carries the height (the viewer scales it by 0.1); green
// and blue only colour the field, so that water, beaches, meadows, rock and
// snow read as such when the viewer draws the pixels as vertex colours.
//
// Usage: quorvane-heightmap OUTPUT.png [SEED]
//
// The same seed always gives the same bytes: the noise is built from integer
// hashing and plain float arithmetic only, with no library randomness.
#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr std::uint64_t kDefaultSeed = 0x51a0c1e03f2b4b7eull;

std::uint64_t Mix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

// Value noise on an integer lattice: a pseudo-random value in [-1, 1] per
// lattice point, blended with a quintic fade.
class ValueNoise {
public:
    explicit ValueNoise(std::uint64_t seed) : seed_(seed) {}

    double At(double x, double y) const {
        const double fx = std::floor(x), fy = std::floor(y);
        const auto ix = static_cast<std::int64_t>(fx), iy = static_cast<std::int64_t>(fy);
        const double tx = Fade(x - fx), ty = Fade(y - fy);
        const double a = Lattice(ix, iy), b = Lattice(ix + 1, iy);
        const double c = Lattice(ix, iy + 1), d = Lattice(ix + 1, iy + 1);
        const double top = a + (b - a) * tx;
        const double bottom = c + (d - c) * tx;
        return top + (bottom - top) * ty;
    }

private:
    static double Fade(double t) { return t * t * t * (t * (t * 6 - 15) + 10); }

    double Lattice(std::int64_t x, std::int64_t y) const {
        const std::uint64_t h = Mix(seed_ ^ Mix(static_cast<std::uint64_t>(x) * 0x8da6b343u +
                                                static_cast<std::uint64_t>(y) * 0xd8163841u));
        return static_cast<double>(h >> 11) * (2.0 / 9007199254740992.0) - 1.0;
    }

    std::uint64_t seed_;
};

// Fractal sum of noise octaves, with a ridged term that sharpens the high
// ground into crests, and a second noise field that warps the coordinates
// so the valleys wander instead of following the lattice.
std::vector<double> MakeHeights(std::uint64_t seed) {
    const ValueNoise base(seed), ridge(Mix(seed + 1)), warpX(Mix(seed + 2)), warpY(Mix(seed + 3));
    std::vector<double> heights(static_cast<std::size_t>(kWidth) * kHeight);
    for (int row = 0; row < kHeight; ++row) {
        for (int column = 0; column < kWidth; ++column) {
            const double u = column / 256.0, v = row / 256.0;
            const double wu = u + 0.2 * warpX.At(u * 1.2, v * 1.2);
            const double wv = v + 0.2 * warpY.At(u * 1.2 + 7.3, v * 1.2 + 2.9);
            double sum = 0, amplitude = 1, frequency = 1, norm = 0;
            for (int octave = 0; octave < 8; ++octave) {
                sum += amplitude * base.At(wu * frequency, wv * frequency);
                norm += amplitude;
                amplitude *= 0.5;
                frequency *= 2.03;
            }
            double crest = 0;
            amplitude = 1;
            frequency = 1.7;
            for (int octave = 0; octave < 5; ++octave) {
                const double r = 1.0 - std::fabs(ridge.At(wu * frequency, wv * frequency));
                crest += amplitude * r * r;
                amplitude *= 0.5;
                frequency *= 2.1;
            }
            const double h = 0.8 * (sum / norm) + 0.3 * (crest / 1.9375 - 0.45);
            heights[static_cast<std::size_t>(row) * kWidth + column] = h;
        }
    }
    // Stretch to the full 0..1 range; the power curve widens the low ground
    // (lakes and meadows) and keeps the peaks few and sharp.
    const auto [lo, hi] = std::minmax_element(heights.begin(), heights.end());
    const double low = *lo, span = std::max(*hi - *lo, 1e-9);
    for (double& h : heights) {
        double t = (h - low) / span;
        t = std::pow(t, 1.3);
        h = std::clamp(t, 0.0, 1.0);
    }
    return heights;
}

struct Band {
    double top;               // highest normalised height of the band
    std::uint8_t green, blue; // colour of the band at that height
};

// Colour bands by height. Red is the height itself, so each band picks the
// green and blue that, beside that red, give the colour of the ground.
constexpr Band kBands[] = {
    {0.22, 70, 170},   // deep water
    {0.30, 120, 200},  // shallow water
    {0.33, 185, 130},  // beach
    {0.50, 200, 60},   // meadow
    {0.68, 175, 70},   // forest and scrub
    {0.85, 150, 120},  // rock
    {1.00, 250, 250},  // snow
};

void ColourPixel(double h, std::uint8_t* rgb, std::uint64_t grain) {
    rgb[0] = static_cast<std::uint8_t>(std::lround(h * 255.0));
    std::size_t band = 0;
    while (band + 1 < std::size(kBands) && h > kBands[band].top) ++band;
    const double bottom = band == 0 ? 0.0 : kBands[band - 1].top;
    const Band& from = band == 0 ? kBands[0] : kBands[band - 1];
    const Band& to = kBands[band];
    // Blend towards the band's own colour over its lower fifth, so the
    // bands meet without hard seams.
    const double width = std::max((to.top - bottom) * 0.2, 1e-6);
    const double t = std::clamp((h - bottom) / width, 0.0, 1.0);
    const int jitter = static_cast<int>(grain % 11) - 5;  // a little texture
    const auto blend = [&](std::uint8_t a, std::uint8_t b) {
        const double value = a + (b - a) * t + jitter;
        return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
    };
    rgb[1] = blend(from.green, to.green);
    rgb[2] = blend(from.blue, to.blue);
}

bool WritePng(const char* path, const std::vector<std::uint8_t>& rgb) {
    std::FILE* file = std::fopen(path, "wb");
    if (!file) {
        std::fprintf(stderr, "quorvane-heightmap: cannot create %s: %s\n", path, std::strerror(errno));
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        std::fprintf(stderr, "quorvane-heightmap: out of memory\n");
        return false;
    }
    std::vector<png_bytep> rows(kHeight);
    for (int row = 0; row < kHeight; ++row)
        rows[row] = const_cast<png_bytep>(rgb.data() + static_cast<std::size_t>(row) * kWidth * 3);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        std::fprintf(stderr, "quorvane-heightmap: cannot write %s\n", path);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0) {
        std::fprintf(stderr, "quorvane-heightmap: cannot write %s: %s\n", path, std::strerror(errno));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: quorvane-heightmap OUTPUT.png [SEED]\n");
        return 2;
    }
    std::uint64_t seed = kDefaultSeed;
    if (argc == 3) {
        char* end = nullptr;
        errno = 0;
        seed = std::strtoull(argv[2], &end, 0);
        if (errno != 0 || end == argv[2] || *end != '\0') {
            std::fprintf(stderr, "quorvane-heightmap: bad seed '%s'\n", argv[2]);
            return 2;
        }
    }
    const std::vector<double> heights = MakeHeights(seed);
    std::vector<std::uint8_t> rgb(heights.size() * 3);
    for (std::size_t i = 0; i < heights.size(); ++i) ColourPixel(heights[i], &rgb[i * 3], Mix(seed ^ i));
    return WritePng(argv[1], rgb) ? 0 : 1;
}
