// GX Lens-SPAD Calibration of the administrator tools (window-modal). Shows
// the frames as a point cloud, optionally averaged over N frames, beside a
// ground-truth cloud loaded from a PCD file; the lens coefficients, global
// offset and emitter width are edited here, applied to the sensor, written
// to its flash or saved as a calibration file. Compute RMSE measures how far
// the measured cloud lies from the ground truth.
#pragma once

#include "device/DadodUz.h"
#include "logic/cloud_rmse.h"
#include "logic/lens_cloud.h"
#include "menus/tool_dialog.h"

#include <QString>
#include <memory>
#include <vector>

class cloud_view;
class QDoubleSpinBox;
class QVTKOpenGLNativeWidget;

namespace Ui {
class menu_lens_cal;
}

class menu_lens_cal : public tool_dialog {
    Q_OBJECT

public:
    using configurations_t = TAVRIN::DadodUz::configurations_t;
    using scene_t = TAVRIN::DadodUz::scene_t;
    using cloud_t = lens_cloud::cloud_t;

    explicit menu_lens_cal(QWidget* parent = nullptr);
    ~menu_lens_cal() override;

    const configurations_t& current_configuration() const { return configuration; }
    const cloud_t& measured_cloud() const { return *measured; }
    const cloud_t& ground_truth() const { return *truth; }
    std::size_t averaged_frames() const { return cloud.listed(); }
    cloud_view* view() const { return view_.get(); }

signals:
    void send_menu_close_window();
    void send_menu_current_setting();
    void send_menu_apply_setting(configurations_t& configuration_);
    void send_menu_apply_data_procssing(std::vector<int>& params);
    void send_menu_write_setting();
    void send_menu_log(QString str);

public slots:
    void updatePointCloud(scene_t& scene);
    void get_menu_current_setting(configurations_t configuration_);
    void on_btn_apply_setting_clicked();
    void on_btn_save_cal_file_clicked();
    void on_btn_write_setting_clicked();
    void on_btn_save_pcd_clicked();
    void on_btn_load_gt_pcd_clicked();
    void on_sb_avg_frame_valueChanged(int value);
    void on_cb_avg_mode_stateChanged(int state);
    void on_btn_compute_rmse_clicked();

protected:
    void opened() override;
    void closed() override;

private:
    void controls_to_record();
    std::vector<QDoubleSpinBox*> lens_boxes() const;

    Ui::menu_lens_cal* ui;
    std::unique_ptr<cloud_view> view_;
    std::shared_ptr<cloud_t> measured;
    std::shared_ptr<cloud_t> truth;
    cloud_rmse::ground_truth truth_index;
    lens_cloud cloud;
    bool measured_shown = false; // the measured cloud has been drawn at least once
    configurations_t configuration{};
};
