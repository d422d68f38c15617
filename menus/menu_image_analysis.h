// GX Image Analysis: the ambient, depth and intensity images of every frame
// side by side, each at its own zoom with its own scaling, frame averaging,
// equalisation and colouring, the raw values of one picked pixel in all
// three, and the VCSEL channel and SPAD channel mode of the sensor.
#pragma once

#include "device/DadodUz.h"
#include "logic/display_pipeline.h"
#include "logic/frame_averager.h"
#include "menus/tool_dialog.h"

#include <QString>
#include <opencv2/core.hpp>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace Ui {
class menu_image_analysis;
}

class menu_image_analysis : public tool_dialog {
    Q_OBJECT

public:
    using configurations_t = TAVRIN::DadodUz::configurations_t;
    using scene_t = TAVRIN::DadodUz::scene_t;

    enum kind { ambient, depth, intensity, kinds };

    explicit menu_image_analysis(QWidget* parent = nullptr);
    ~menu_image_analysis() override;

    // The configuration the dialog holds; the copy Apply sends.
    const configurations_t& current_configuration() const { return configuration; }
    // The last picture shown of an image (R, G, B, unzoomed, with the ring).
    const cv::Mat& picture(kind k) const { return image[k].picture; }
    std::size_t averaged_frames(kind k) const { return image[k].averager.size(); }
    int zoom(kind k) const { return image[k].zoom; }
    bool pixel_selected() const { return selected; }
    double selected_x() const { return x; }
    double selected_y() const { return y; }

signals:
    void send_menu_apply_setting(configurations_t& configuration_);
    void send_menu_current_setting();
    void send_menu_log(QString str);
    void send_close_ui();

public slots:
    void updateScene(scene_t& scene);
    cv::Mat getMean(std::vector<cv::Mat> images);
    void on_sb_ambient_aveg_frame_valueChanged(int value);
    void on_sb_depth_aveg_frame_valueChanged(int value);
    void on_sb_intensity_aveg_frame_valueChanged(int value);
    void on_sb_ambient_max_val_valueChanged(int value);
    void on_sb_ambient_min_val_valueChanged(int value);
    void on_sb_depth_max_val_valueChanged(int value);
    void on_sb_depth_min_val_valueChanged(int value);
    void on_sb_intensity_max_val_valueChanged(int value);
    void on_sb_intensity_min_val_valueChanged(int value);
    void on_pushButton_clicked();

public:
    void get_menu_current_setting(configurations_t configuration_);

protected:
    void opened() override;
    void closed() override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One image's settings, buffers and controls.
    struct image_state {
        int average_frames = 10;
        int max_value = 0;
        int min_value = 0;
        int zoom = 3;
        frame_averager averager;
        cv::Mat grey8;    // working buffer of the pipeline
        cv::Mat picture;  // last picture shown
        QLabel* label = nullptr;
        QLineEdit* readout = nullptr;
        QCheckBox* auto_norm = nullptr;
        QCheckBox* average = nullptr;
        QCheckBox* equalise = nullptr;
        QCheckBox* grey = nullptr;
    };

    void show_image(kind k, const cv::Mat& raw, std::uint32_t raw_value);
    void show_pixel_text();

    Ui::menu_image_analysis* ui;
    image_state image[kinds];
    configurations_t configuration{};
    int frame_width = 0;
    int frame_height = 0;
    double x = 0;
    double y = 0;
    bool selected = false;
};
