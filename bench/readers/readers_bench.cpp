// Decoding 2048 x 2048 files with our readers and with stb_image on the same
// bytes, in one process; the ratios (stb_image time / our time, above 1 when
// we are faster) are printed at the end. stb_image is asked for four channels
// so both sides produce pictures of the same size. Files that stay in the
// file image (top-down BMP and TGA, DDS) are decoded by us without copying a
// single pixel, which the benchmark checks.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <stb/stb_image.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "image/readers.h"
#include "quorvane/image/decoded_image.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t kSize = 2048;

// A picture with smooth areas, edges and some noise: runs for the run-length
// encoders, detail for the JPEG encoder. RGBA, top row first.
const Bytes& Picture() {
    static const Bytes picture = [] {
        Bytes rgba(static_cast<std::size_t>(kSize) * kSize * 4);
        std::uint32_t seed = 12345;
        for (std::uint32_t y = 0; y < kSize; ++y) {
            for (std::uint32_t x = 0; x < kSize; ++x) {
                std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * kSize + x) * 4];
                const bool flat = ((x / 64) + (y / 64)) % 3 == 0;
                seed = seed * 1664525u + 1013904223u;
                const std::uint8_t noise = flat ? 0 : static_cast<std::uint8_t>(seed >> 28);
                p[0] = static_cast<std::uint8_t>(flat ? 200 : (x / 8 + noise));
                p[1] = static_cast<std::uint8_t>(flat ? 40 : (y / 8 + noise));
                p[2] = static_cast<std::uint8_t>(flat ? 90 : ((x + y) / 16 + noise));
                p[3] = static_cast<std::uint8_t>(flat ? 255 : 128 + (x % 128));
            }
        }
        return rgba;
    }();
    return picture;
}

void Put8(Bytes& b, std::uint32_t v) { b.push_back(static_cast<std::uint8_t>(v)); }
void Put16(Bytes& b, std::uint32_t v) { Put8(b, v); Put8(b, v >> 8); }
void Put32(Bytes& b, std::uint32_t v) { Put16(b, v & 0xFFFF); Put16(b, v >> 16); }

Bytes Bmp24(bool topDown) {
    const std::uint32_t stride = (kSize * 3 + 3) & ~3u;
    Bytes b;
    b.reserve(54 + static_cast<std::size_t>(stride) * kSize);
    Put8(b, 'B');
    Put8(b, 'M');
    Put32(b, 54 + stride * kSize);
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, kSize);
    Put32(b, topDown ? static_cast<std::uint32_t>(-static_cast<std::int32_t>(kSize)) : kSize);
    Put16(b, 1);
    Put16(b, 24);
    for (int i = 0; i < 6; ++i) Put32(b, 0);
    const Bytes& p = Picture();
    for (std::uint32_t row = 0; row < kSize; ++row) {
        const std::uint32_t y = topDown ? row : kSize - 1 - row;
        for (std::uint32_t x = 0; x < kSize; ++x) {
            const std::uint8_t* s = &p[(static_cast<std::size_t>(y) * kSize + x) * 4];
            Put8(b, s[2]);
            Put8(b, s[1]);
            Put8(b, s[0]);
        }
        b.resize(b.size() + (stride - kSize * 3), 0);
    }
    return b;
}

Bytes TgaHeader(std::uint8_t type, std::uint8_t descriptor) {
    Bytes b;
    b.reserve(static_cast<std::size_t>(kSize) * kSize * 5);
    for (std::uint8_t v : {0, 0, int(type), 0, 0, 0, 0, 0, 0, 0, 0, 0}) b.push_back(v);
    Put16(b, kSize);
    Put16(b, kSize);
    b.push_back(32);
    b.push_back(descriptor);
    return b;
}

void PutBgra(Bytes& b, const std::uint8_t* s) {
    Put8(b, s[2]);
    Put8(b, s[1]);
    Put8(b, s[0]);
    Put8(b, s[3]);
}

Bytes Tga32Rle() {
    Bytes b = TgaHeader(10, 8);  // bottom-up, 8 alpha bits
    const Bytes& p = Picture();
    for (std::uint32_t row = 0; row < kSize; ++row) {
        const std::uint8_t* line = &p[static_cast<std::size_t>(kSize - 1 - row) * kSize * 4];
        std::uint32_t x = 0;
        while (x < kSize) {
            std::uint32_t run = 1;
            while (x + run < kSize && run < 128 && std::memcmp(line + 4 * x, line + 4 * (x + run), 4) == 0) ++run;
            if (run > 1) {
                b.push_back(static_cast<std::uint8_t>(0x80 | (run - 1)));
                PutBgra(b, line + 4 * x);
                x += run;
                continue;
            }
            std::uint32_t raw = 1;
            while (x + raw < kSize && raw < 128 &&
                   (x + raw + 1 >= kSize || std::memcmp(line + 4 * (x + raw), line + 4 * (x + raw + 1), 4) != 0))
                ++raw;
            b.push_back(static_cast<std::uint8_t>(raw - 1));
            for (std::uint32_t i = 0; i < raw; ++i) PutBgra(b, line + 4 * (x + i));
            x += raw;
        }
    }
    return b;
}

Bytes Tga32TopDownRaw() {
    Bytes b = TgaHeader(2, 0x28);
    const Bytes& p = Picture();
    for (std::size_t i = 0; i < p.size(); i += 4) PutBgra(b, &p[i]);
    return b;
}

Bytes Ppm() {
    const std::string head = "P6\n" + std::to_string(kSize) + " " + std::to_string(kSize) + "\n255\n";
    Bytes b(head.begin(), head.end());
    const Bytes& p = Picture();
    b.reserve(b.size() + p.size());
    for (std::size_t i = 0; i < p.size(); i += 4) {
        Put8(b, p[i]);
        Put8(b, p[i + 1]);
        Put8(b, p[i + 2]);
    }
    return b;
}

// Run-length scanlines as Radiance writes them.
Bytes HdrRle() {
    const std::string head = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y " + std::to_string(kSize) + " +X " +
                             std::to_string(kSize) + "\n";
    Bytes b(head.begin(), head.end());
    const Bytes& p = Picture();
    std::vector<std::uint8_t> component(kSize);
    for (std::uint32_t y = 0; y < kSize; ++y) {
        Put8(b, 2);
        Put8(b, 2);
        Put8(b, kSize >> 8);
        Put8(b, kSize & 0xFF);
        for (int c = 0; c < 4; ++c) {
            for (std::uint32_t x = 0; x < kSize; ++x) {
                const std::uint8_t* s = &p[(static_cast<std::size_t>(y) * kSize + x) * 4];
                component[x] = c < 3 ? static_cast<std::uint8_t>(128 + s[c] / 2) : 130;
            }
            std::uint32_t x = 0;
            while (x < kSize) {
                std::uint32_t run = 1;
                while (x + run < kSize && run < 127 && component[x + run] == component[x]) ++run;
                if (run >= 4) {
                    b.push_back(static_cast<std::uint8_t>(128 + run));
                    b.push_back(component[x]);
                    x += run;
                    continue;
                }
                std::uint32_t literal = 0;
                while (x + literal < kSize && literal < 128) {
                    std::uint32_t ahead = 1;
                    while (x + literal + ahead < kSize && ahead < 4 &&
                           component[x + literal + ahead] == component[x + literal])
                        ++ahead;
                    if (ahead >= 4) break;
                    ++literal;
                }
                b.push_back(static_cast<std::uint8_t>(literal));
                b.insert(b.end(), component.begin() + x, component.begin() + x + literal);
                x += literal;
            }
        }
    }
    return b;
}

Bytes JpegBaseline() {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&info, &out, &outSize);
    info.image_width = kSize;
    info.image_height = kSize;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    const Bytes& p = Picture();
    std::vector<std::uint8_t> row(kSize * 3);
    while (info.next_scanline < kSize) {
        const std::uint8_t* s = &p[static_cast<std::size_t>(info.next_scanline) * kSize * 4];
        for (std::uint32_t x = 0; x < kSize; ++x) std::memcpy(&row[x * 3], s + 4 * x, 3);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes b(out, out + outSize);
    std::free(out);
    return b;
}

Bytes DdsDxt1Mips() {
    Bytes b;
    b.reserve(128 + static_cast<std::size_t>(kSize) * kSize);
    for (char c : {'D', 'D', 'S', ' '}) Put8(b, static_cast<std::uint8_t>(c));
    Put32(b, 124);
    Put32(b, 0xA1007);
    Put32(b, kSize);
    Put32(b, kSize);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 12);
    b.resize(76, 0);
    Put32(b, 32);
    Put32(b, 4);
    for (char c : {'D', 'X', 'T', '1'}) Put8(b, static_cast<std::uint8_t>(c));
    b.resize(128, 0);
    std::size_t bytes = 0;
    for (std::uint32_t s = kSize; s >= 1; s /= 2) bytes += static_cast<std::size_t>((s + 3) / 4) * ((s + 3) / 4) * 8;
    b.resize(128 + bytes, 0x55);
    return b;
}

std::map<std::string, Bytes>& Files() {
    static std::map<std::string, Bytes> files;
    return files;
}

const Bytes& File(const std::string& name) {
    auto& files = Files();
    auto it = files.find(name);
    if (it != files.end()) return it->second;
    Bytes b;
    if (name == "bmp24") b = Bmp24(false);
    else if (name == "bmp24_topdown") b = Bmp24(true);
    else if (name == "tga32_rle") b = Tga32Rle();
    else if (name == "tga32_topdown") b = Tga32TopDownRaw();
    else if (name == "ppm_binary") b = Ppm();
    else if (name == "hdr_rle") b = HdrRle();
    else if (name == "jpeg_baseline") b = JpegBaseline();
    else if (name == "dds_dxt1_mips") b = DdsDxt1Mips();
    return files.emplace(name, std::move(b)).first->second;
}

using Reader = HRESULT (*)(qv::DecodedImage*, const std::uint8_t*, std::uint32_t);

void Ours(benchmark::State& state, const char* name, Reader reader, bool inPlace) {
    const Bytes& file = File(name);
    for (auto _ : state) {
        qv::DecodedImage image;
        image.decodePixels = true;
        if (FAILED(reader(&image, file.data(), static_cast<std::uint32_t>(file.size())))) {
            state.SkipWithError("our reader refused the file");
            return;
        }
        const auto* pixels = static_cast<const std::uint8_t*>(image.pixels);
        const bool inFile = pixels >= file.data() && pixels < file.data() + file.size();
        if (inPlace && (!inFile || image.ownsPixels)) {
            state.SkipWithError("pixels were copied");
            return;
        }
        benchmark::DoNotOptimize(image.pixels);
    }
    state.counters["file_MB"] = static_cast<double>(file.size()) / (1 << 20);
    if (inPlace) state.counters["copied_bytes"] = 0;
}

void Stb(benchmark::State& state, const char* name, bool floats) {
    const Bytes& file = File(name);
    for (auto _ : state) {
        int w = 0, h = 0, n = 0;
        void* pixels = floats ? static_cast<void*>(stbi_loadf_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, 4))
                              : static_cast<void*>(stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, 4));
        if (pixels == nullptr) {
            state.SkipWithError(stbi_failure_reason());
            return;
        }
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
}

// Collects each benchmark's time per iteration and prints stb/ours at the end,
// by processor time (what the decoding costs, whatever else runs on the
// machine) and by wall-clock time.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations == 0) continue;
            times_[run.benchmark_name()] = {run.GetAdjustedCPUTime(), run.GetAdjustedRealTime()};  // ms
        }
    }
    void PrintRatios() const {
        std::printf("\nstb_image time / our time (above 1: we are faster), processor time, then wall-clock\n");
        for (const auto& [name, ours] : times_) {
            if (name.rfind("Ours/", 0) != 0) continue;
            const std::string file = name.substr(5);
            const auto stb = times_.find("Stb/" + file);
            if (stb == times_.end()) {
                std::printf("  %-16s ours %.4f ms, stb_image has no reader for it\n", file.c_str(), ours.cpu);
                continue;
            }
            std::printf("  %-16s %10.2fx (ours %8.4f ms, stb_image %8.3f ms)   wall-clock %10.2fx\n", file.c_str(),
                        stb->second.cpu / ours.cpu, ours.cpu, stb->second.cpu, stb->second.real / ours.real);
        }
    }

private:
    struct Times {
        double cpu;
        double real;
    };
    std::map<std::string, Times> times_;
};

}  // namespace

int main(int argc, char** argv) {
    struct Entry {
        const char* name;
        Reader reader;
        bool inPlace;
        bool stb;
        bool floats;
    } entries[] = {
        {"bmp24", qv::ReadBmpImage, false, true, false},
        {"bmp24_topdown", qv::ReadBmpImage, true, true, false},
        {"tga32_rle", qv::ReadTgaImage, false, true, false},
        {"tga32_topdown", qv::ReadTgaImage, true, true, false},
        {"hdr_rle", qv::ReadHdrImage, false, true, true},
        {"ppm_binary", qv::ReadPpmImage, false, true, false},
        {"jpeg_baseline", qv::ReadJpegImage, false, true, false},
        {"dds_dxt1_mips", qv::ReadDdsImage, true, false, false},
    };
    for (const Entry& e : entries) {
        File(e.name);  // made before timing
        benchmark::RegisterBenchmark((std::string("Ours/") + e.name).c_str(), Ours, e.name, e.reader, e.inPlace)
            ->Unit(benchmark::kMillisecond);
        if (e.stb)
            benchmark::RegisterBenchmark((std::string("Stb/") + e.name).c_str(), Stb, e.name, e.floats)
                ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
