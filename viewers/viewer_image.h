// The image view: ambient, depth and intensity of every frame, side by side.
#pragma once

#include "logic/colour_legend.h"
#include "logic/display_pipeline.h"
#include "logic/view_settings.h"
#include "viewers/viewer_metatypes.h"

#include <QString>
#include <QWidget>
#include <opencv2/core.hpp>

class QLabel;
class colour_legend_bar;

namespace Ui {
class viewer_image;
}

class viewer_image : public QWidget {
    Q_OBJECT

public:
    using scene_t = TAVRIN::DadodUz::scene_t;

    enum kind { ambient = view_settings::kind_ambient, depth = view_settings::kind_depth, intensity = view_settings::kind_intensity };

    explicit viewer_image(QWidget* parent = nullptr);
    ~viewer_image() override;

    // Display settings of one image kind, as the settings dialog gives them.
    const view_settings::image_kind_settings& settings(kind k) const { return settings_.of(k); }
    // The last finished colour image of a kind (R, G, B), empty before the first.
    const cv::Mat& kept_image(kind k) const { return kept_[k]; }
    QLabel* image_label(kind k) const;

    // The legend beside a kind's picture, as the last frame's scaling gave it.
    const colour_legend::legend& legend(kind k) const { return legends_[k]; }
    colour_legend_bar* legend_bar(kind k) const { return bars_[k]; }

    // The pipeline parameters the current settings give for a kind.
    display::pipeline_params pipeline_for(kind k) const;

signals:
    void send_viewer_image_ambient_img(cv::Mat img);
    void send_viewer_image_depth_img(cv::Mat img);
    void send_viewer_image_intensity_img(cv::Mat img);
    void send_viewer_log(QString msg);
    // A left click on one of the three pictures: the pixel under it.
    void send_viewer_pixel_picked(int row, int col);
    // The legend of a kind's picture for the point cloud view (depth in
    // metres), sent when it changes.
    void send_viewer_image_cloud_legend(int kind, colour_legend::legend legend);

public slots:
    void updateScene(TAVRIN::DadodUz::scene_t& scene);
    void get_viewer_playmode_capture(QString dir);
    void get_main_image_auto_norm_ambient(bool enable);
    void get_main_image_auto_norm_depth(bool enable);
    void get_main_image_auto_norm_intensity(bool enable);
    void get_main_image_min_val_ambient(double val);
    void get_main_image_min_val_depth(double val);
    void get_main_image_min_val_intensity(double val);
    void get_main_image_max_val_ambient(double val);
    void get_main_image_max_val_depth(double val);
    void get_main_image_max_val_intensity(double val);
    void get_main_image_hist_mode_ambient(bool enable);
    void get_main_image_hist_mode_depth(bool enable);
    void get_main_image_hist_mode_intensity(bool enable);
    void get_main_image_grey_mode_ambient(bool enable);
    void get_main_image_grey_mode_depth(bool enable);
    void get_main_image_grey_mode_intensity(bool enable);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Builds, keeps, shows and returns the colour image of one kind; empty
    // when the frame's array of that kind is empty or malformed.
    cv::Mat process(kind k, const cv::Mat& raw);

    Ui::viewer_image* ui;
    view_settings::image_settings settings_;  // the view's own copy, initial values included
    cv::Mat grey8_[3];  // working 8-bit images, reused frame to frame
    cv::Mat kept_[3];   // last finished colour image per kind
    colour_legend::legend legends_[3];
    colour_legend::legend cloud_legends_[3];
    colour_legend_bar* bars_[3] = {};
};
