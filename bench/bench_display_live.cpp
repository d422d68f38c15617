// The whole live tick with rendering, under an X server (scripts/xvfb.sh):
// a window of about 1200 x 700 with the image view above the point cloud
// view, fed from a 0 ms timer with a frame always ready, as the main window's
// frame timer does while streaming. Prints ticks and frames shown per second.
//   bench_display_live [seconds] [--screenshot file.png] [--grid] [--mode N]
//                      [--max-dist M] [--point-size P] [--empty] [--no-images]
// --empty feeds 0 x 0 frames (the fixed cost of a tick), --no-images skips
// the image view.
#include "bench/bench_options.h"
#include "bench/gui_bench.h"
#include "tests/support/synthetic_frames.h"
#include "viewers/viewer_image.h"
#include "viewers/viewer_pointcloud.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSurfaceFormat>
#include <QTimer>
#include <QVBoxLayout>
#include <QVTKOpenGLNativeWidget.h>
#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkGenericOpenGLRenderWindow.h>

#include <sys/resource.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    double seconds = 5.0;
    const char* screenshot = nullptr;
    bool grid = false;
    int mode = 4;
    double max_dist = 200.0;
    double point_size = 0;
    bool empty = false, no_images = false;
    std::string screenshot_file;
    namespace po = bench_options::po;
    po::options_description desc(
        "usage: bench_display_live [SECONDS] [options]\n"
        "The whole live tick with rendering (under scripts/xvfb.sh).\noptions");
    desc.add_options()("help", "show this text")
        ("seconds", po::value(&seconds)->value_name("S"), "length of the run (at least 1, default 5)")
        ("screenshot", po::value(&screenshot_file)->value_name("FILE.png"), "save the window at the end")
        ("grid", po::bool_switch(&grid), "draw the point cloud view's grid")
        ("mode", po::value(&mode)->value_name("N"), "the point colour mode (default 4)")
        ("max-dist", po::value(&max_dist)->value_name("M"), "the point cloud's maximum distance (default 200)")
        ("point-size", po::value(&point_size)->value_name("P"), "the point size (default: the view's)")
        ("empty", po::bool_switch(&empty), "frames without returns")
        ("no-images", po::bool_switch(&no_images), "without the image view");
    if (const int done = bench_options::read(argc, argv, "bench_display_live", desc, {"seconds"}); done >= 0) return done;
    seconds = std::max(1.0, seconds);
    if (!screenshot_file.empty()) screenshot = screenshot_file.c_str();
    if (!prepare_gui_bench()) return 1;
    QApplication app(argc, argv);
    printed_figures_in_c_notation();

    QWidget window;
    window.resize(1200, 700);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* images = new viewer_image;
    auto* cloud = new viewer_pointcloud;
    layout->addWidget(images);
    layout->addWidget(cloud, 1);
    QObject::connect(images, &viewer_image::send_viewer_image_ambient_img, cloud, &viewer_pointcloud::get_viewer_image_ambient_img);
    QObject::connect(images, &viewer_image::send_viewer_image_depth_img, cloud, &viewer_pointcloud::get_viewer_image_depth_img);
    QObject::connect(images, &viewer_image::send_viewer_image_intensity_img, cloud, &viewer_pointcloud::get_viewer_image_intensity_img);
    QObject::connect(images, &viewer_image::send_viewer_image_cloud_legend, cloud, &viewer_pointcloud::get_viewer_image_cloud_legend);
    cloud->get_main_pointcloud_point_color(mode);
    cloud->get_main_pointcloud_max_dist(max_dist);
    window.show();

    // Frames prepared beforehand: the tick hands one over by reference, as
    // the main window hands over its frame record.
    std::vector<synthetic::scene_t> frames(32);
    for (std::size_t i = 0; i < frames.size(); ++i) synthetic::fill_scene(frames[i], 100, 400, i * 4);
    if (empty)
        for (auto& f : frames) synthetic::resize(f, 0, 0);  // nothing to draw: the fixed cost of a tick
    if (point_size > 0) cloud->get_main_pointcloud_point_size(point_size);

    // Renders of the VTK window, to tell whether a frame is rendered once.
    static long renders = 0;
    vtkNew<vtkCallbackCommand> count_renders;
    count_renders->SetCallback([](vtkObject*, unsigned long, void*, void*) { ++renders; });
    cloud->render_window()->AddObserver(vtkCommand::EndEvent, count_renders);
    long shown = 0;
    QObject::connect(cloud->vtk_widget(), &QOpenGLWidget::frameSwapped, [&] { ++shown; });

    std::vector<double> tick_us, image_us;
    long ticks = 0;
    bool measuring = false;
    QElapsedTimer clock, run;
    QTimer frame_timer;
    frame_timer.setInterval(0);
    QObject::connect(&frame_timer, &QTimer::timeout, [&] {
        synthetic::scene_t& s = frames[static_cast<std::size_t>(ticks) % frames.size()];
        clock.start();
        if (!no_images) images->updateScene(s);
        const double images_done = clock.nsecsElapsed() / 1000.0;
        cloud->updatePointCloud(s);
        if (measuring) {
            tick_us.push_back(clock.nsecsElapsed() / 1000.0);
            image_us.push_back(images_done);
        }
        ++ticks;
    });

    auto cpu_seconds = [] {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    // Warm up for a second, then measure, all inside the ordinary event loop
    // as the program runs it.
    long shown0 = 0, ticks0 = 0, renders0 = 0;
    double cpu0 = 0, elapsed = 0, cpu = 0;
    frame_timer.start();
    if (grid) cloud->get_main_grid(true);
    QTimer::singleShot(1000, [&] {
        shown0 = shown, ticks0 = ticks, renders0 = renders;
        cpu0 = cpu_seconds();
        measuring = true;
        run.start();
        QTimer::singleShot(static_cast<int>(seconds * 1000), [&] {
            elapsed = run.elapsed() / 1000.0;
            cpu = cpu_seconds() - cpu0;
            frame_timer.stop();
            app.quit();
        });
    });
    app.exec();

    std::sort(tick_us.begin(), tick_us.end());
    std::sort(image_us.begin(), image_us.end());
    const double fps_ticks = (ticks - ticks0) / elapsed;
    const double fps_shown = (shown - shown0) / elapsed;
    std::printf("window %dx%d, point cloud view %dx%d, %.1f s\n", window.width(), window.height(),
                cloud->vtk_widget()->width(), cloud->vtk_widget()->height(), elapsed);
    std::printf("ticks per second:           %.1f\n", fps_ticks);
    std::printf("frames shown per second:    %.1f\n", fps_shown);
    std::printf("CPU time per tick (all threads): %.2f ms, %.0f%% of the 2 cores\n",
                1000.0 * cpu / std::max(1L, ticks - ticks0), 100.0 * cpu / elapsed / 2.0);
    std::printf("renders per tick:           %.2f (multisamples %d)\n",
                double(renders - renders0) / std::max(1L, ticks - ticks0), cloud->render_window()->GetMultiSamples());
    if (!tick_us.empty())
        std::printf("updateScene + updatePointCloud (incl. render): median %.2f ms, p90 %.2f ms\n",
                    tick_us[tick_us.size() / 2] / 1000.0, tick_us[tick_us.size() * 9 / 10] / 1000.0);
    if (!image_us.empty())
        std::printf("  of which updateScene (three images and pixmaps): median %.3f ms\n", image_us[image_us.size() / 2] / 1000.0);

    if (screenshot != nullptr) {
        app.processEvents();
        const bool ok = window.grab().save(screenshot);
        std::printf("screenshot %s: %s\n", screenshot, ok ? "saved" : "FAILED");
    }
    return 0;
}
