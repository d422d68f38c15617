#include "menus/menu_lens_cal.h"

#include "widgets/dialog_seam.h"
#include "logic/calibration_file.h"
#include "logic/cloud_rmse.h"
#include "logic/filter_list.h"
#include "logic/pcd_file.h"
#include "ui_menu_lens_cal.h"
#include "viewers/cloud_view.h"

#include <QDir>
#include <QFile>
#include <QVTKOpenGLNativeWidget.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <iostream>

namespace {
const char* const kMeasuredId = "cloud1";
const char* const kTruthId = "cloud2";
constexpr double kMeasuredPointSize = 2.0;
} // namespace

menu_lens_cal::menu_lens_cal(QWidget* parent)
    : tool_dialog(parent, tr("GX Lens-SPAD Calibration")), ui(new Ui::menu_lens_cal),
      view_(new cloud_view("pclviz_lens_cal")), measured(new cloud_t), truth(new cloud_t) {
    setWindowModality(Qt::WindowModal);
    ui->setupUi(this);
    view_->attach(ui->qvtkWidget);
    cloud.set_frames(std::size_t(ui->sb_avg_frame->value()));
}

menu_lens_cal::~menu_lens_cal() {
    delete ui;
    view_.reset();
}

std::vector<QDoubleSpinBox*> menu_lens_cal::lens_boxes() const {
    return {ui->sb_fx, ui->sb_fy, ui->sb_cx, ui->sb_cy, ui->sb_p1, ui->sb_p2,
            ui->sb_k1, ui->sb_k2, ui->sb_k3, ui->sb_k4, ui->sb_k5, ui->sb_k6};
}

void menu_lens_cal::opened() {
    // The data-processing values every lens measurement is made with: every
    // host filter off.
    std::vector<int> params = filter_list::all_off();
    emit send_menu_apply_data_procssing(params);
    emit send_menu_current_setting();
}

void menu_lens_cal::closed() { emit send_menu_close_window(); }

void menu_lens_cal::get_menu_current_setting(configurations_t configuration_) {
    configuration = configuration_;
    ui->sb_global_offset->setValue(configuration.global_offset);
    // Truncated to the integer the box shows (12.7 shows as 12); a value that
    // is no number shows as 0.
    const auto finite = [](float v) { return std::isfinite(v) ? double(v) : 0.0; };
    ui->sb_vcsel_emitter_width->setValue(int(std::trunc(std::max(-1e9, std::min(1e9, finite(configuration.emitter_dwidth))))));
    const std::vector<QDoubleSpinBox*> boxes = lens_boxes();
    for (std::size_t i = 0; i < boxes.size(); ++i) boxes[i]->setValue(finite(configuration.lens_coe[i]));
}

void menu_lens_cal::controls_to_record() {
    configuration.global_offset = std::uint16_t(ui->sb_global_offset->value());
    configuration.emitter_dwidth = float(ui->sb_vcsel_emitter_width->value());
    const std::vector<QDoubleSpinBox*> boxes = lens_boxes();
    for (std::size_t i = 0; i < boxes.size(); ++i) configuration.lens_coe[i] = float(boxes[i]->value());
}

void menu_lens_cal::on_btn_apply_setting_clicked() {
    controls_to_record();
    emit send_menu_apply_setting(configuration);
}

void menu_lens_cal::on_btn_write_setting_clicked() { emit send_menu_write_setting(); }

void menu_lens_cal::on_sb_avg_frame_valueChanged(int value) { cloud.set_frames(std::size_t(value < 1 ? 1 : value)); }

void menu_lens_cal::on_cb_avg_mode_stateChanged(int state) { cloud.set_average(state != Qt::Unchecked); }

void menu_lens_cal::updatePointCloud(scene_t& scene) {
    try {
        if (!cloud.update(scene, *measured)) return;
        view_->show(measured, kMeasuredId);
        view_->set_point_size(kMeasuredPointSize, kMeasuredId);
        view_->render();
        measured_shown = true;
    } catch (const std::exception& e) {
        std::cout << e.what() << std::endl;
    }
}

void menu_lens_cal::on_btn_load_gt_pcd_clicked() {
    const QString path =
        dialog_seam::open_file_name(this, tr("Load point cloud"), QDir::homePath(), tr("Point cloud (*.pcd)"));
    if (path.isEmpty()) return;
    cloud_t loaded;
    std::string error;
    if (!pcd_file::read(QFile::encodeName(path).toStdString(), loaded, error)) {
        emit send_menu_log(tr("[Lens Calibration] Cannot read the point cloud file %1: %2.")
                               .arg(path, QString::fromStdString(error)));
        dialog_seam::critical(this, tr("Warning"), tr("Can't open pcd file."));
        return;
    }
    for (auto& p : loaded.points) {
        p.r = 255;
        p.g = 0;
        p.b = 0;
    }
    truth->swap(loaded);
    truth_index = cloud_rmse::ground_truth(*truth);  // searched by every RMSE press
    try {
        view_->show(truth, kTruthId);
        view_->render();
    } catch (const std::exception& e) {
        std::cout << e.what() << std::endl;
    }
}

void menu_lens_cal::on_btn_save_pcd_clicked() {
    const QString path =
        dialog_seam::save_file_name(this, tr("Save point cloud"), QDir::homePath(), tr("Point cloud (*.pcd)"));
    if (path.isEmpty() || measured->empty()) return;
    if (!pcd_file::write_ascii(QFile::encodeName(path).toStdString(), *measured))
        emit send_menu_log(tr("[Lens Calibration] Cannot save the point cloud file : %1").arg(path));
}

void menu_lens_cal::on_btn_save_cal_file_clicked() {
    const QString path = dialog_seam::save_file_name(this, tr("Save lens calibration file"), QDir::homePath(),
                                                     tr("Lens Calibration File (*.csv)"));
    if (path.isEmpty()) return;
    controls_to_record();
    std::string error;
    if (!calibration_file::write(QFile::encodeName(path).toStdString(), calibration_file::from_record(configuration),
                                 error))
        dialog_seam::warning(this, tr("Warning"),
                             tr("Cannot write the lens calibration file %1: %2.").arg(path, QString::fromStdString(error)));
}

void menu_lens_cal::on_btn_compute_rmse_clicked() {
    ui->le_rmse->clear();
    if (truth->empty()) {
        emit send_menu_log(tr("[Lens Calibration] RMSE: load a ground truth point cloud first."));
        return;
    }
    if (!measured_shown) {
        emit send_menu_log(tr("[Lens Calibration] RMSE: no measured point cloud yet."));
        return;
    }
    const cloud_rmse::result r = truth_index.compute(*measured);
    if (!r.ok) {
        emit send_menu_log(tr("[Lens Calibration] RMSE: the measured or the ground truth cloud has no valid point."));
        return;
    }
    const QString mm = QString::number(r.rmse * 1000.0, 'f', 1);
    ui->le_rmse->setText(mm + QStringLiteral(" mm"));
    emit send_menu_log(tr("[Lens Calibration] RMSE %1 mm over %2 measured points").arg(mm).arg(r.points));
}
