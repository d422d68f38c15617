// A synthetic outdoor-corridor scene as a GX sensor would see it: floor,
// side walls, a low back wall with sky above it (no returns), two moving
// objects, a retro-reflective sign whose flare spills onto its neighbours,
// sensor noise, a dead column, a fixed ambient pattern and plausible ambient
// and intensity. The emulator streams it; tests and benchmarks use it to get
// realistic frames without a network.
#pragma once

#include "device/gx_lens.h"

#include <cstdint>
#include <vector>

namespace gx {

class synthetic_scene {
public:
    synthetic_scene(std::uint32_t rows = 100, std::uint32_t cols = 400);

    std::uint32_t rows() const { return rows_; }
    std::uint32_t cols() const { return cols_; }

    // Renders the scene at time t (seconds). Depth in mm or bins by
    // stream_mode; depth2/intensity2 are filled (second echoes) in the
    // multi-echo modes and cleared otherwise.
    void render(double t, int stream_mode, std::vector<std::uint16_t>& ambient, std::vector<std::int32_t>& depth,
                std::vector<std::uint16_t>& intensity, std::vector<std::int32_t>& depth2, std::vector<std::uint16_t>& intensity2);

    // Time histogram of one pixel of the last rendered frame: a peak at the
    // pixel's distance bin over an ambient floor.
    void histogram(std::uint32_t row, std::uint32_t col, std::vector<std::uint16_t>& bins, std::uint32_t bin_count = 1024);

    // Column of dead pixels (always invalid) and the per-column ambient
    // fixed pattern, for tests of the host-side filters.
    static constexpr std::uint32_t kDeadColumn = 211;
    static int column_pattern(std::uint32_t col) { return int((col * 37u) % 23u); }
    static constexpr int kDarkLevel = 40;

private:
    struct hit {
        float range = 0;    // metres, 0 = no return
        float refl = 0;
        float cosine = 0;
        float ambient = 0;  // scene ambient before the sensor pattern
    };
    hit cast_static(const lens_rays::ray& r) const;
    std::uint32_t rows_, cols_;
    lens_rays rays_;
    std::vector<hit> static_;
    std::vector<float> flare_range_;   // >0: pixel receives the retro flare at this range
    std::vector<float> flare_gain_;
    std::vector<float> last_range_;
    std::vector<float> last_intensity_;
    std::vector<float> last_ambient_;
    std::uint64_t rng_ = 0x9E3779B97F4A7C15ull;
    std::uint32_t next();
    float uniform() { return float(next() >> 8) * (1.0f / 16777216.0f); }
    float noise() { return uniform() + uniform() + uniform() - 1.5f; }  // approx. normal, sigma 0.5
};

}  // namespace gx
