// A PCL visualizer drawing into a Qt VTK widget, as VTK 9 requires it: the
// visualizer renders into a generic OpenGL render window that the widget
// hosts, has no interactor of its own and is driven by the widget's. The
// point cloud view and the lens calibration tool each keep one.
#pragma once

#include <memory>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>
#include <string>

namespace pcl {
namespace visualization {
class PCLVisualizer;
}
} // namespace pcl

class QVTKOpenGLNativeWidget;
class vtkGenericOpenGLRenderWindow;

class cloud_view {
public:
    using cloud_t = pcl::PointCloud<pcl::PointXYZRGB>;

    // Creates the render window (multisampling off: 8x costs 2.5x in
    // software OpenGL) and the visualizer named `name`; VTK's warning output
    // is switched off.
    explicit cloud_view(const std::string& name);
    ~cloud_view();
    cloud_view(const cloud_view&) = delete;
    cloud_view& operator=(const cloud_view&) = delete;

    // Hands the render window to the widget, drives the visualizer from the
    // widget's interactor, hides the frame rate and puts the camera at
    // (-1, 0, 0) looking at the origin with z up: the sensor looks along +x.
    void attach(QVTKOpenGLNativeWidget* widget);

    pcl::visualization::PCLVisualizer* visualizer() const { return visualizer_.get(); }
    vtkGenericOpenGLRenderWindow* window() const;

    // Shows the cloud under `id` in its points' own colours. Each id has its
    // own VTK points, colours, vertex cells, mapper and actor, made on its
    // first show; later shows of as many points write into the same arrays,
    // and only a change of the point count rebuilds the cells. The actor is
    // listed in the visualizer's cloud table under `id`.
    void show(const std::shared_ptr<cloud_t>& cloud, const std::string& id);
    // True when the size of the points under `id` changed.
    bool set_point_size(double size, const std::string& id);
    // Draws now: a repaint request alone shows the previous picture.
    void render();
    // Draws one point of a cloud once under a private id and takes it away
    // again, so that the shaders a cloud needs are compiled before the first
    // real one arrives (in software OpenGL that costs about a frame period).
    // Needs the widget's OpenGL context: call it after the first paint.
    void warm_up();

private:
    struct parts;
    std::unique_ptr<parts> parts_;
    std::shared_ptr<pcl::visualization::PCLVisualizer> visualizer_;
};
