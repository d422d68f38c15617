// The calibration tools' work: the cloud error of 40,000 measured points
// against a 40,000-point ground truth (goal: under 100 ms), the offset
// calibration dialog's frame (images, chart, calibration step) and the lens
// tool's averaged cloud. Prints medians.
//   bench_calibration [iterations]
#include "bench/bench_options.h"
#include "bench/bench_timing.h"
#include "logic/cloud_rmse.h"
#include "logic/lens_cloud.h"
#include "logic/offset_calibration.h"
#include "menus/menu_offset_cal.h"
#include "tests/support/synthetic_frames.h"

#include <pcl/kdtree/kdtree_flann.h>

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
    int iterations = 200;
    {
        namespace po = bench_options::po;
        po::options_description desc("usage: bench_calibration [ITERATIONS]\nThe calibration tools' work: cloud error, offset calibration frame, lens cloud.\noptions");
        desc.add_options()("help", "show this text")
            ("iterations", po::value(&iterations)->value_name("N"), "repetitions timed (at least 20, default 200)");
        if (const int done = bench_options::read(argc, argv, "bench_calibration", desc, {"iterations"}); done >= 0) return done;
        iterations = std::max(20, iterations);
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    const cloud_rmse::cloud_t truth = wall(0.0f), measured = wall(0.012f);
    const cloud_rmse::result r = cloud_rmse::compute(measured, truth);
    std::printf("cloud error: %zu measured points against %zu, RMSE %.1f mm\n", r.points, truth.size(), 1000 * r.rmse);
    // The search it replaced, side by side: PCL's FLANN k-d tree built per press.
    auto flann_rmse = [&] {
        cloud_rmse::cloud_t::Ptr t(new cloud_rmse::cloud_t);
        for (const auto& p : truth.points)
            if (cloud_rmse::valid(p)) t->push_back(p);
        pcl::KdTreeFLANN<pcl::PointXYZRGB> tree;
        tree.setInputCloud(t);
        std::vector<int> index(1);
        std::vector<float> sq(1);
        double sum = 0;
        std::size_t n = 0;
        for (const auto& p : measured.points)
            if (cloud_rmse::valid(p) && tree.nearestKSearch(p, 1, index, sq) == 1) sum += sq[0], ++n;
        return std::sqrt(sum / double(n));
    };
    std::printf("RMSE by PCL's FLANN tree %.4f mm, by ours %.4f mm\n", 1000 * flann_rmse(), 1000 * r.rmse);
    report("before: RMSE 40k vs 40k, FLANN tree built per press", measure(std::max(20, iterations / 10), flann_rmse));
    report("RMSE 40k vs 40k (k-d tree build + nearest neighbours)",
           measure(std::max(20, iterations / 10), [&] { cloud_rmse::compute(measured, truth); }));
    report("  k-d tree build of the ground truth alone", measure(std::max(20, iterations / 10), [&] { cloud_rmse::ground_truth t(truth); }));
    const cloud_rmse::ground_truth index(truth);
    report("RMSE 40k vs 40k against a kept ground truth (one press)",
           measure(std::max(20, iterations / 10), [&] { index.compute(measured); }));

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
