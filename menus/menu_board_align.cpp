#include "menus/menu_board_align.h"

#include "widgets/dialog_seam.h"
#include "logic/board_align_geometry.h"
#include "logic/display_pipeline.h"
#include "logic/pixel_pick.h"
#include "logic/status_text.h"
#include "menus/region_table_model.h"
#include "menus/value_cell_delegate.h"
#include "ui_menu_board_align.h"
#include "viewers/label_picture.h"

#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QWheelEvent>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

menu_board_align::menu_board_align(QWidget* parent)
    : tool_dialog(parent, tr("GX Board Align")), ui(new Ui::menu_board_align), table(new region_table_model(this)) {
    ui->setupUi(this);
    ui->table_image_val->setModel(table);
    ui->table_image_val->setItemDelegate(new value_cell_delegate(ui->table_image_val));
    ui->sb_max_val->setValue(5000);
    ui->im_main_image->installEventFilter(this);
    ui->im_zoom_image->installEventFilter(this);
    connect(this, &menu_board_align::send_tool_image_analysis, this, &menu_board_align::get_tool_image_analysis);
}

menu_board_align::~menu_board_align() { delete ui; }

void menu_board_align::first_frame(int frame_rows, int frame_cols) {
    first_done = true;
    ui->sb_col->setRange(5, frame_cols - 5);
    ui->sb_row->setRange(5, frame_rows - 5);
    const board_align::first_region f = board_align::initial_region(frame_rows, frame_cols);
    // The range first, so that a region larger than the last one is not cut
    // to the old range on its way into the box.
    ui->sb_zoom_img_size->setRange(1, f.region.width);
    roi = f.region;
    largest = f.largest;
    ui->sb_zoom_img_size->setValue(roi.width);
}

void menu_board_align::updateScene(scene_t& scene) {
    zoom_factor = board_align::zoom_image_factor(configuration.dual_channel != 0);
    z = board_align::main_zoom(height());
    rows = static_cast<int>(scene.rows);
    cols = static_cast<int>(scene.cols);
    if (!first_done) first_frame(rows, cols);

    const cv::Rect whole(0, 0, cols, rows);
    const cv::Rect h_band = board_align::horizontal_band(rows, cols, row);
    const cv::Rect v_band = board_align::vertical_band(rows, cols, col);
    ui->im_main_image->setFixedSize(z * cols, z * rows);
    ui->im_horizontal_image->setFixedSize(z * cols, rows);
    ui->im_vertical_image->setFixedSize(cols, z * rows);
    const int side = board_align::zoom_label_side(rows, cols, zoom_factor);
    ui->im_zoom_image->setFixedSize(side, side);
    if (scene.depth.empty()) return;

    cv::Mat raw;
    values.clear();
    switch (image_type) {
    case 0:
        raw = display::wrap(scene.ambient, scene.rows, scene.cols);
        if (!raw.empty()) values.assign(scene.ambient.begin(), scene.ambient.end());
        break;
    case 2:
        raw = display::wrap(scene.intensity, scene.rows, scene.cols);
        if (!raw.empty()) values.assign(scene.intensity.begin(), scene.intensity.end());
        break;
    default:
        raw = display::wrap(scene.depth, scene.rows, scene.cols);
        if (!raw.empty()) values.assign(scene.depth.begin(), scene.depth.end());
        break;
    }
    if (raw.empty()) return;  // the chosen image is missing or does not fit the frame
    emit send_tool_image_analysis(values, cols, rows);

    const int t = image_type >= 0 && image_type < 3 ? image_type : 1;
    display::pipeline_params p;
    p.auto_norm = ui->cb_auto_normal->isChecked();
    p.min_value = min_value[t];
    p.max_value = max_value[t];
    p.equalise = ui->cb_hist_equal->isChecked();
    p.colour = ui->cb_grey->isChecked() ? display::colour_map::grey : display::colour_map::jet;
    cv::Mat rgb;  // a fresh picture every frame: the stored one is never written again
    display::render(raw, p, grey8, rgb);

    stored[full] = rgb;
    stored[horizontal] = rgb(h_band).clone();
    stored[vertical] = rgb(v_band).clone();
    stored[zoom] = rgb(roi & whole).clone();

    label_picture::show(ui->im_horizontal_image, stored[horizontal], Qt::KeepAspectRatio);
    label_picture::show(ui->im_vertical_image, stored[vertical], Qt::KeepAspectRatio);
    label_picture::show(ui->im_zoom_image, stored[zoom], Qt::KeepAspectRatio);
    shown_main = rgb;
    if (picked) {
        shown_main = rgb.clone();
        pixel_pick::draw_ring(shown_main, int(x), int(y));
    }
    label_picture::show(ui->im_main_image, shown_main, Qt::KeepAspectRatio);
}

void menu_board_align::get_tool_image_analysis(std::vector<uint32_t>& data, int width, int height) {
    table->set_region(data, width, height, roi);
}

void menu_board_align::on_tg_image_type_currentIndexChanged(int index) { image_type = index; }

void menu_board_align::on_sb_min_val_valueChanged(int value) {
    if (image_type >= 0 && image_type < 3) min_value[image_type] = value;
}

void menu_board_align::on_sb_max_val_valueChanged(int value) {
    if (image_type >= 0 && image_type < 3) max_value[image_type] = value;
}

void menu_board_align::on_sb_row_valueChanged(int value) { row = value; }

void menu_board_align::on_sb_col_valueChanged(int value) { col = value; }

void menu_board_align::on_sb_zoom_img_size_valueChanged(int value) {
    // Before the first frame the image size is unknown; the table and the
    // cut-out read only inside the frame either way.
    roi = rows > 0 && cols > 0 ? board_align::resized(roi, value, rows, cols) : cv::Rect(roi.x, roi.y, value, value);
}

void menu_board_align::on_btn_apply_clicked() {
    first_done = false;
    configuration.dual_channel = ui->tg_spad_channel_mode->currentIndex() == 0 ? 1 : 0;
    emit send_menu_apply_setting(configuration);
}

void menu_board_align::on_btn_save_image_clicked() {
    const QString name = dialog_seam::save_file_name(this, tr("Save GX images"), QDir::homePath(), tr("Images (*.png)"));
    if (name.isEmpty()) return;
    // The chosen name less its ".png"; a name typed without it is used whole.
    const QString base = name.endsWith(QLatin1String(".png"), Qt::CaseInsensitive) ? name.left(name.size() - 4) : name;
    const struct {
        picture p;
        const char* suffix;
    } files[] = {{full, ".png"}, {vertical, "_vertical.png"}, {horizontal, "_horizontal.png"}, {zoom, "_zoom.png"}};
    QStringList failed;
    for (const auto& f : files) {
        const QString path = base + QLatin1String(f.suffix);
        bool written = false;
        if (!stored[f.p].empty()) {
            cv::Mat bgr;
            cv::cvtColor(stored[f.p], bgr, cv::COLOR_RGB2BGR);
            try {
                written = cv::imwrite(QFile::encodeName(path).toStdString(), bgr);
            } catch (const cv::Exception&) {
            }
        }
        if (!written) failed << path;
    }
    if (!failed.isEmpty())
        dialog_seam::warning(this, tr("Warning"), tr("Cannot save the image file : %1").arg(failed.join(QStringLiteral(", "))));
}

void menu_board_align::get_menu_current_setting(configurations_t configuration_) {
    configuration = configuration_;
    ui->tg_spad_channel_mode->setCurrentIndex(configuration.dual_channel != 0 ? 0 : 1);
}

void menu_board_align::update_status(sensing_packet_t& sensing) {
    ui->le_tx_hv->setText(QString::fromStdString(status_text::value(sensing, "xadc_tx_hv")));
    ui->le_rx_temp->setText(QString::fromStdString(status_text::value(sensing, "rx_temp")));
    ui->le_tx_temp->setText(QString::fromStdString(status_text::value(sensing, "xadc_tx_temp")));
}

void menu_board_align::opened() { emit send_menu_current_setting(); }

void menu_board_align::closed() { emit send_close_ui(); }

bool menu_board_align::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->im_main_image && event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            x = pixel_pick::from_click(mouse->localPos().x(), z, cols);
            y = pixel_pick::from_click(mouse->localPos().y(), z, rows);
            picked = true;
            ui->le_roi_x->setText(QString::number(x, 'g', 6));
            ui->le_roi_y->setText(QString::number(y, 'g', 6));
        } else if (mouse->button() == Qt::RightButton) {
            x = y = 0;
            picked = false;
            ui->le_roi_x->setText(QStringLiteral("0"));
            ui->le_roi_y->setText(QStringLiteral("0"));
        }
    } else if (watched == ui->im_zoom_image && event->type() == QEvent::Wheel) {
        const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
        roi = board_align::wheel_step(roi, delta, largest, rows, cols);
        ui->sb_zoom_img_size->setValue(roi.width);
    }
    return tool_dialog::eventFilter(watched, event);
}
