// The point cloud view: every frame as a coloured 3D point cloud in a PCL
// visualizer, with an optional ground grid, axis views and PCD capture.
// The visualizer's headers stay in the .cpp; this header only names it.
#pragma once

#include "logic/cloud_builder.h"
#include "logic/colour_legend.h"
#include "logic/point_measure.h"
#include "viewers/viewer_metatypes.h"

#include <QString>
#include <QWidget>
#include <opencv2/core.hpp>

#include <memory>
#include <string>
#include <vector>

namespace pcl {
namespace visualization {
class PCLVisualizer;
}
} // namespace pcl

Q_DECLARE_OPAQUE_POINTER(pcl::visualization::PCLVisualizer*)

class cloud_view;
class colour_legend_bar;
class vtkGenericOpenGLRenderWindow;
class QVTKOpenGLNativeWidget;

namespace Ui {
class viewer_pointcloud;
}

class viewer_pointcloud : public QWidget {
    Q_OBJECT

public:
    using scene_t = TAVRIN::DadodUz::scene_t;
    using cloud_t = cloud_builder::cloud_t;

    explicit viewer_pointcloud(QWidget* parent = nullptr);
    ~viewer_pointcloud() override;

    pcl::visualization::PCLVisualizer* visualizer() const;
    vtkGenericOpenGLRenderWindow* render_window() const;
    QVTKOpenGLNativeWidget* vtk_widget() const;
    const cloud_t& cloud() const { return *cloud_; }

    int point_colour_mode() const { return params_.colour_mode; }
    colour_legend_bar* legend_bar() const { return legend_bar_; }
    double point_size() const { return point_size_; }
    double min_distance() const { return params_.min_dist; }
    double max_distance() const { return params_.max_dist; }
    bool grid_flag() const { return grid_; }
    const std::vector<std::string>& grid_ids() const { return grid_ids_; }
    bool xy_axis_pending() const { return xy_axis_; }
    bool yz_axis_pending() const { return yz_axis_; }
    bool zx_axis_pending() const { return zx_axis_; }
    const cloud_builder::colour_images& colour_images() const { return images_; }

    // The ruler: shift + left click picks a shown point (or a pixel of the
    // image view is selected), a second pick measures, a third starts anew;
    // shift + right click or Escape clears. The shapes it draws carry these ids.
    const point_measure::measurement& measurement() const { return ruler_; }
    const std::string& readout_text() const { return readout_; }
    static const char* const measure_ids[5];

signals:
    // A line for the log pane: a capture that could not be written.
    void send_viewer_log(QString msg);

public slots:
    void updatePointCloud(TAVRIN::DadodUz::scene_t& scene);
    void get_viewer_playmode_capture(QString dir);
    void setGrid(pcl::visualization::PCLVisualizer* view, int nGrid, int scale);
    void eraseGrid(pcl::visualization::PCLVisualizer* view);
    void setAxisView();
    void get_main_pointcloud_point_color(int val);
    void get_main_pointcloud_point_size(double val);
    void get_main_pointcloud_max_dist(double val);
    void get_main_pointcloud_min_dist(double val);
    void get_viewer_image_ambient_img(cv::Mat img);
    void get_viewer_image_depth_img(cv::Mat img);
    void get_viewer_image_intensity_img(cv::Mat img);
    // The legend of the image view's picture of a kind (0 ambient, 1 depth,
    // 2 intensity); shown beside the cloud while points take that picture's colours.
    void get_viewer_image_cloud_legend(int kind, colour_legend::legend legend);
    void get_main_grid(bool enable);
    void get_main_xy_axis(bool enable);
    void get_main_yz_axis(bool enable);
    void get_main_zx_axis(bool enable);
    // Selects pixel (row, column) of the frame shown, as a pick in the cloud.
    void select_pixel(int row, int col);
    void clear_measurement();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void picked();
    void show_legend();
    void take(const point_measure::pick& p);
    void draw_measurement();
    // Moves the camera to the first pending axis view (xy, yz, zx), keeping
    // its distance from the origin, and clears that flag. False when no view
    // was pending: the camera is left alone.
    bool apply_axis_view();

    std::unique_ptr<cloud_view> view_;
    std::shared_ptr<cloud_t> cloud_;
    Ui::viewer_pointcloud* ui = nullptr;

    cloud_builder::params params_;
    colour_legend::legend legends_[3];
    colour_legend_bar* legend_bar_ = nullptr;
    double point_size_ = 2.0;
    bool grid_ = false;
    bool warmed_up_ = false; // the renderer's shaders compiled after the first paint
    bool xy_axis_ = false;
    bool yz_axis_ = false;
    bool zx_axis_ = false;
    std::vector<std::string> grid_ids_;
    cloud_builder::colour_images images_;

    // What the ruler reads of the frame whose cloud is on screen, kept when
    // a frame rewrites the cloud: the main window's frame record is refilled
    // in place on every tick, also by frames that leave the cloud as it is.
    point_measure::frame_values shown_;
    point_measure::measurement ruler_;
    std::string readout_;
};
