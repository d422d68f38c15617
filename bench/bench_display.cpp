// Per-frame display work on a 400 x 100 frame, without rendering: the three
// colour images of the image view plus the point cloud build, and the
// ruler's copy of a frame whose cloud is shown. Prints medians.
//   bench_display [iterations]
#include "bench/bench_options.h"
#include "bench/bench_timing.h"
#include "logic/cloud_builder.h"
#include "logic/display_pipeline.h"
#include "logic/point_measure.h"
#include "tests/support/synthetic_frames.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    int iterations = 2000;
    {
        namespace po = bench_options::po;
        po::options_description desc("usage: bench_display [ITERATIONS]\nPer-frame display work on a 400 x 100 frame, without rendering.\noptions");
        desc.add_options()("help", "show this text")
            ("iterations", po::value(&iterations)->value_name("N"), "frames timed (at least 50, default 2000)");
        if (const int done = bench_options::read(argc, argv, "bench_display", desc, {"iterations"}); done >= 0) return done;
        iterations = std::max(50, iterations);
    }
    synthetic::scene_t scene = synthetic::make_scene(100, 400, 7);

    display::pipeline_params amb, dep, inten;
    amb.max_value = 500;
    amb.colour = display::colour_map::palette;
    dep.max_value = 20000;
    dep.invert = true;
    dep.colour = display::colour_map::jet;
    inten.max_value = 400;
    inten.colour = display::colour_map::palette;

    cv::Mat grey[3];
    cloud_builder::colour_images images;
    cloud_builder::params cp;  // ambient colours, (0, 200] m
    cloud_builder::cloud_t cloud;

    auto frame = [&] {
        // Fresh colour images per frame, as the image view makes them.
        cv::Mat a, d, i;
        display::render(display::wrap(scene.ambient, scene.rows, scene.cols), amb, grey[0], a);
        display::render(display::wrap(scene.depth, scene.rows, scene.cols), dep, grey[1], d);
        display::render(display::wrap(scene.intensity, scene.rows, scene.cols), inten, grey[2], i);
        images.ambient = a;
        images.depth = d;
        images.intensity = i;
        cloud_builder::build(scene, cp, images, cloud);
    };

    std::printf("frame %u x %u, %d iterations\n", scene.cols, scene.rows, iterations);
    report("whole frame: 3 images + cloud build (default settings)", measure(iterations, frame));

    amb.auto_norm = dep.auto_norm = inten.auto_norm = true;
    amb.equalise = dep.equalise = inten.equalise = true;
    report("whole frame: auto normalisation + equalisation", measure(iterations, frame));
    amb.auto_norm = dep.auto_norm = inten.auto_norm = false;
    amb.equalise = dep.equalise = inten.equalise = false;

    const cv::Mat raw_a = display::wrap(scene.ambient, scene.rows, scene.cols);
    const cv::Mat raw_d = display::wrap(scene.depth, scene.rows, scene.cols);
    report("ambient image (16U, palette)", measure(iterations, [&] {
               cv::Mat rgb;
               display::render(raw_a, amb, grey[0], rgb);
           }));
    report("depth image (32S, inverted JET)", measure(iterations, [&] {
               cv::Mat rgb;
               display::render(raw_d, dep, grey[1], rgb);
           }));
    report("  scale 32S -> 8U", measure(iterations, [&] { display::scale_to_8bit(raw_d, 255.0 / 20000, grey[1]); }));
    report("  colourise through the JET table", measure(iterations, [&] {
               cv::Mat rgb;
               display::colourise(grey[1], display::colour_map::jet, true, rgb);
           }));
    report("  (reference: cv::applyColorMap JET + BGR->RGB)", measure(iterations, [&] {
               cv::Mat bgr, rgb;
               cv::applyColorMap(255 - grey[1], bgr, cv::COLORMAP_JET);
               cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
           }));
    report("cloud build (ambient colours)", measure(iterations, [&] { cloud_builder::build(scene, cp, images, cloud); }));
    point_measure::frame_values shown;
    report("ruler's copy of the frame shown", measure(iterations, [&] { shown.keep(scene); }));
    return 0;
}
