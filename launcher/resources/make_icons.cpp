// Draws the launcher's two icons at build time and writes them as .ico files:
//   make_icons <program.ico> <catalog.ico>
// The program icon (seven sizes) is a film strip on a blue tile with a record
// dot; the catalog document icon (six sizes) is a page with a folded corner
// and a film frame. Shapes are described in unit coordinates and sampled 4x4
// per pixel, so every size is drawn from the same picture.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Colour {
    double r, g, b, a;
};

using Picture = std::function<Colour(double x, double y)>; // x, y in [0, 1), y downwards

Colour over(Colour top, Colour below)
{
    double a = top.a + below.a * (1 - top.a);
    if (a <= 0)
        return {0, 0, 0, 0};
    auto mix = [&](double t, double b) { return (t * top.a + b * below.a * (1 - top.a)) / a; };
    return {mix(top.r, below.r), mix(top.g, below.g), mix(top.b, below.b), a};
}

bool inRoundedBox(double x, double y, double left, double top, double right, double bottom, double radius)
{
    if (x < left || x > right || y < top || y > bottom)
        return false;
    double cx = std::fmin(std::fmax(x, left + radius), right - radius);
    double cy = std::fmin(std::fmax(y, top + radius), bottom - radius);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
}

const Colour clear{0, 0, 0, 0};
const Colour tile{0.11, 0.32, 0.62, 1};
const Colour film{0.12, 0.12, 0.14, 1};
const Colour frame{0.78, 0.88, 0.98, 1};
const Colour record{0.86, 0.16, 0.14, 1};
const Colour paper{0.98, 0.98, 0.96, 1};
const Colour fold{0.80, 0.82, 0.86, 1};
const Colour edge{0.45, 0.47, 0.52, 1};

// A horizontal film strip between top and bottom with sprocket holes and frames.
Colour filmStrip(double x, double y, double left, double right, double top, double bottom)
{
    if (x < left || x > right || y < top || y > bottom)
        return clear;
    double height = bottom - top;
    double band = height * 0.2;
    bool inBand = y < top + band || y > bottom - band;
    if (inBand) {
        double pitch = (right - left) / 6;
        double phase = std::fmod(x - left, pitch) / pitch;
        double row = y < top + band ? (y - top) / band : (y - (bottom - band)) / band;
        bool hole = phase > 0.3 && phase < 0.7 && row > 0.25 && row < 0.75;
        return hole ? frame : film;
    }
    double pitch = (right - left) / 3;
    double phase = std::fmod(x - left, pitch) / pitch;
    return phase > 0.08 && phase < 0.92 ? frame : film;
}

Colour programIcon(double x, double y)
{
    Colour colour = inRoundedBox(x, y, 0.03, 0.03, 0.97, 0.97, 0.18) ? tile : clear;
    Colour strip = filmStrip(x, y, 0.1, 0.9, 0.28, 0.66);
    if (strip.a > 0)
        colour = over(strip, colour);
    double dx = x - 0.76, dy = y - 0.78;
    if (dx * dx + dy * dy < 0.13 * 0.13)
        colour = over(record, colour);
    return colour;
}

Colour catalogIcon(double x, double y)
{
    const double left = 0.16, right = 0.84, top = 0.04, bottom = 0.96, corner = 0.24;
    if (x < left || x > right || y < top || y > bottom)
        return clear;
    double cornerX = right - corner, cornerY = top + corner;
    if (x > cornerX && y < cornerY) {
        if ((x - cornerX) > (y - top))
            return clear; // cut off beyond the fold
        return fold;
    }
    bool border = x < left + 0.03 || x > right - 0.03 || y > bottom - 0.03 || y < top + 0.03;
    if (border)
        return edge;
    Colour strip = filmStrip(x, y, 0.24, 0.76, 0.42, 0.72);
    return strip.a > 0 ? strip : paper;
}

std::vector<std::uint8_t> bgraPixels(const Picture& picture, int size)
{
    const int samples = 4;
    std::vector<std::uint8_t> pixels;
    pixels.reserve(static_cast<std::size_t>(size * size * 4));
    for (int row = size - 1; row >= 0; --row) { // bottom-up rows
        for (int column = 0; column < size; ++column) {
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    Colour c = picture((column + (sx + 0.5) / samples) / size, (row + (sy + 0.5) / samples) / size);
                    r += c.r * c.a, g += c.g * c.a, b += c.b * c.a, a += c.a;
                }
            }
            auto channel = [&](double premultiplied) {
                return static_cast<std::uint8_t>(a > 0 ? std::lround(255 * premultiplied / a) : 0);
            };
            pixels.push_back(channel(b));
            pixels.push_back(channel(g));
            pixels.push_back(channel(r));
            pixels.push_back(static_cast<std::uint8_t>(std::lround(255 * a / (samples * samples))));
        }
    }
    return pixels;
}

void put16(std::vector<std::uint8_t>& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    put16(out, value & 0xFFFFu);
    put16(out, value >> 16);
}

// One icon image: BITMAPINFOHEADER (double height for the mask), the 32-bit
// colour rows, then an all-clear AND mask (the alpha channel is used instead).
std::vector<std::uint8_t> iconImage(const Picture& picture, int size)
{
    std::vector<std::uint8_t> image;
    put32(image, 40);
    put32(image, static_cast<std::uint32_t>(size));
    put32(image, static_cast<std::uint32_t>(size * 2));
    put16(image, 1);
    put16(image, 32);
    for (int i = 0; i < 6; ++i)
        put32(image, 0);
    std::vector<std::uint8_t> pixels = bgraPixels(picture, size);
    image.insert(image.end(), pixels.begin(), pixels.end());
    std::size_t maskRow = static_cast<std::size_t>((size + 31) / 32 * 4);
    image.insert(image.end(), maskRow * static_cast<std::size_t>(size), 0);
    return image;
}

bool writeIcon(const char* path, const Picture& picture, const std::vector<int>& sizes)
{
    std::vector<std::vector<std::uint8_t>> images;
    for (int size : sizes)
        images.push_back(iconImage(picture, size));
    std::vector<std::uint8_t> file;
    put16(file, 0);
    put16(file, 1);
    put16(file, static_cast<unsigned>(images.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        file.push_back(static_cast<std::uint8_t>(sizes[i] >= 256 ? 0 : sizes[i]));
        file.push_back(static_cast<std::uint8_t>(sizes[i] >= 256 ? 0 : sizes[i]));
        file.push_back(0);
        file.push_back(0);
        put16(file, 1);
        put16(file, 32);
        put32(file, static_cast<std::uint32_t>(images[i].size()));
        put32(file, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const auto& image : images)
        file.insert(file.end(), image.begin(), image.end());
    std::FILE* out = std::fopen(path, "wb");
    if (!out)
        return false;
    bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && written;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_icons <program.ico> <catalog.ico>\n");
        return 2;
    }
    bool ok = writeIcon(argv[1], programIcon, {16, 20, 24, 32, 40, 48, 64}) &&
              writeIcon(argv[2], catalogIcon, {16, 20, 24, 32, 48, 64});
    if (!ok)
        std::fprintf(stderr, "make_icons: cannot write the icons\n");
    return ok ? 0 : 1;
}
