// The calibration tools' work: the cloud error of 40,000 measured points
// against a 40,000-point ground truth (goal: under 100 ms), the offset
// calibration dialog's frame (images, chart, calibration step) and the lens
// tool's averaged cloud. Prints medians.
//   bench_calibration [iterations]
#include "bench/bench_timing.h"
#include "logic/cloud_rmse.h"
#include "logic/lens_cloud.h"
#include "logic/offset_calibration.h"
#include "menus/menu_offset_cal.h"
#include "tests/support/synthetic_frames.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>

#include <clocale>
#include <cmath>
#include <cstdlib>

namespace {

// A 400 x 100 grid of points on a wavy wall 4 to 6 m ahead, metres.
cloud_rmse::cloud_t wall(float shift) {
    cloud_rmse::cloud_t c;
    c.reserve(40000);
    for (int r = 0; r < 100; ++r)
        for (int k = 0; k < 400; ++k) {
            pcl::PointXYZRGB p;
            p.y = 0.02f * float(k - 200);
            p.z = 0.02f * float(50 - r);
            p.x = 5.0f + std::sin(p.y) + 0.3f * std::cos(3.0f * p.z) + shift * ((r + k) % 3 == 0 ? 1.0f : -0.5f);
            c.push_back(p);
        }
    return c;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const int iterations = argc > 1 ? std::max(20, std::atoi(argv[1])) : 200;

    const cloud_rmse::cloud_t truth = wall(0.0f), measured = wall(0.012f);
    const cloud_rmse::result r = cloud_rmse::compute(measured, truth);
    std::printf("cloud error: %zu measured points against %zu, RMSE %.1f mm\n", r.points, truth.size(), 1000 * r.rmse);
    report("RMSE 40k vs 40k (k-d tree build + nearest neighbours)",
           measure(std::max(20, iterations / 10), [&] { cloud_rmse::compute(measured, truth); }));

    synthetic::scene_t scene = synthetic::make_scene(100, 400, 3);
    report("VCSEL channel values, 60 channels", measure(iterations * 10, [&] {
               offset_calibration::vcsel_channel_values(scene.depth.data(), scene.depth.size(), 100, 400, 60);
           }));
    report("SPAD half-row means", measure(iterations * 10, [&] {
               offset_calibration::spad_half_row_means(scene.depth.data(), scene.depth.size(), 100, 400);
           }));

    menu_offset_cal dialog;
    dialog.resize(1200, 640);
    dialog.show();
    dialog.findChild<QSpinBox*>("sb_number_frame")->setValue(99);
    for (int mode : {0, 1}) {
        dialog.findChild<QComboBox*>("tg_calibration_mode")->setCurrentIndex(mode);
        report(mode == 0 ? "offset dialog frame, VCSEL run (images, chart, step)"
                         : "offset dialog frame, SPAD run (images, chart, step)",
               measure(iterations, [&] {
                   if (!dialog.run().running()) dialog.findChild<QPushButton*>("btn_start_offset_cal")->click();
                   dialog.updateScene(scene);
               }));
    }

    lens_cloud lc;
    lens_cloud::cloud_t cloud;
    report("lens cloud, one frame without averaging", measure(iterations, [&] { lc.update(scene, cloud); }));
    lc.set_average(true);
    lc.set_frames(10);
    report("lens cloud, one frame averaged over 10", measure(iterations, [&] { lc.update(scene, cloud); }));
    return 0;
}
