// A synthetic scene as a GX sensor would see it. The corridor: floor, side
// walls, a low back wall with sky above it (no returns), two moving objects,
// a retro-reflective sign whose flare spills onto its neighbours. The static
// corridor: the same without the moving objects. The target: a sphere section
// centred on the sensor, so that every pixel's true range is the same. The
// wall: a flat grey plane square to the optical axis, filling the view, so
// that every point lies at the same depth and the range grows off-axis.
// The sensor's view of it: rays through the unit's true optics, range noise,
// a dead column, a fixed ambient pattern, plausible ambient and intensity,
// and the unit's imperfections and settings (gx_sensor_model.h). The emulator
// streams it; tests and benchmarks use it to get realistic frames without a
// network.
#pragma once

#include "device/gx_lens.h"
#include "emulator/gx_sensor_model.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace gx {

enum class scene_kind { corridor, static_corridor, target, wall };

struct scene_options {
    scene_kind kind = scene_kind::corridor;
    float target_range = 2.0f;  // metres: the target's radius, the wall's distance (x)
    std::uint64_t seed = sensor_model::kDefaultSeed;
};

class synthetic_scene {
public:
    synthetic_scene(std::uint32_t rows = 100, std::uint32_t cols = 400);
    explicit synthetic_scene(const scene_options& options, std::uint32_t rows = 100, std::uint32_t cols = 400);

    const sensor_model::imperfections& imperfections() const { return imp_; }
    // The unit's configuration as it leaves the factory: the default registers
    // with the calibration that cancels its own errors.
    const TAVRIN::DadodUz::configurations_t& factory_configuration() const { return factory_; }

    // Renders the scene at time t (seconds) as the sensor measures it with
    // configuration cfg: depth in mm or bins by cfg.stream_mode (0..3);
    // depth2/intensity2 are filled (second echoes) in the multi-echo modes
    // and cleared otherwise.
    void render(double t, const TAVRIN::DadodUz::configurations_t& cfg, std::vector<std::uint16_t>& ambient,
                std::vector<std::int32_t>& depth, std::vector<std::uint16_t>& intensity, std::vector<std::int32_t>& depth2,
                std::vector<std::uint16_t>& intensity2);

    // The noise-free static geometry through the true optics, one point per
    // pixel whose return the sensor can detect, in metres (x forward, y left,
    // z up). Moving objects are not part of it.
    std::vector<std::array<float, 3>> ground_truth() const;
    // Writes ground_truth() as an ASCII PCD file (x y z rgb, white); false when
    // it cannot be written.
    bool write_ground_truth(const std::string& path) const;

    std::uint32_t rows() const { return rows_; }
    std::uint32_t cols() const { return cols_; }

    // Renders with the factory configuration in the given stream mode.
    void render(double t, int stream_mode, std::vector<std::uint16_t>& ambient, std::vector<std::int32_t>& depth,
                std::vector<std::uint16_t>& intensity, std::vector<std::int32_t>& depth2, std::vector<std::uint16_t>& intensity2);

    // Time histogram of one pixel of the last rendered frame: a peak at the
    // pixel's distance bin over an ambient floor, through the FIR of the last
    // rendering's configuration (fir_coef, aligned by fir_offset).
    void histogram(std::uint32_t row, std::uint32_t col, std::vector<std::uint16_t>& bins, std::uint32_t bin_count = 1024);

    // Column of dead pixels (always invalid; right of every driver's last
    // full VCSEL channel group, where the offset calibration does not look)
    // and the per-column ambient fixed pattern, for tests of the host-side
    // filters.
    static constexpr std::uint32_t kDeadColumn = 390;
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
    scene_options opt_;
    sensor_model::imperfections imp_;
    TAVRIN::DadodUz::configurations_t factory_{};
    std::uint32_t rows_, cols_;
    lens_rays rays_;
    std::vector<hit> static_;
    std::vector<float> flare_range_;   // >0: pixel receives the retro flare at this range
    std::vector<float> flare_gain_;
    std::vector<float> last_range_;
    std::vector<float> last_intensity_;
    std::vector<float> last_ambient_;
    // The histogram FIR of the last rendering's configuration.
    void set_fir(const TAVRIN::DadodUz::configurations_t& cfg);
    std::array<int, 16> fir_{};
    int fir_sum_ = 0;
    int fir_offset_ = 7;
    // Work arrays, reused from frame to frame and histogram to histogram.
    std::vector<float> clean_mm_, clean_int_, amb_bg_, col_mm_, hist_raw_;
    std::vector<unsigned char> object_, edge_, col_lit_;
    std::uint64_t rng_ = 0x9E3779B97F4A7C15ull;
    std::uint32_t next();
    float uniform() { return float(next() >> 8) * (1.0f / 16777216.0f); }
    float noise() { return uniform() + uniform() + uniform() - 1.5f; }  // approx. normal, sigma 0.5
};

}  // namespace gx
