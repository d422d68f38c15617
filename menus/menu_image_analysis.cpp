#include "menus/menu_image_analysis.h"

#include "logic/pixel_pick.h"
#include "ui_menu_image_analysis.h"
#include "viewers/label_picture.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

menu_image_analysis::menu_image_analysis(QWidget* parent)
    : tool_dialog(parent, tr("GX Image Analysis")), ui(new Ui::menu_image_analysis) {
    ui->setupUi(this);
    const struct {
        kind k;
        int max_value;
        QLabel* label;
        QLineEdit* readout;
        QCheckBox *auto_norm, *average, *equalise, *grey;
    } controls[] = {
        {ambient, 5000, ui->im_ambient_image, ui->le_ambient_val, ui->cb_ambient_auto_normal, ui->cb_ambient_aveg_mode,
         ui->cb_ambient_hist_equal, ui->cb_ambient_grey},
        {depth, 10000, ui->im_depth_image, ui->le_depth_val, ui->cb_depth_auto_normal, ui->cb_depth_aveg_mode,
         ui->cb_depth_hist_equal, ui->cb_depth_grey},
        {intensity, 500, ui->im_intensity_image, ui->le_intensity_val, ui->cb_intensity_auto_normal,
         ui->cb_intensity_aveg_mode, ui->cb_intensity_hist_equal, ui->cb_intensity_grey},
    };
    for (const auto& c : controls) {
        image_state& s = image[c.k];
        s.max_value = c.max_value;
        s.label = c.label;
        s.readout = c.readout;
        s.auto_norm = c.auto_norm;
        s.average = c.average;
        s.equalise = c.equalise;
        s.grey = c.grey;
        c.label->installEventFilter(this);
    }
    // The spin boxes start from the state (their slots only store values).
    ui->sb_ambient_aveg_frame->setValue(image[ambient].average_frames);
    ui->sb_depth_aveg_frame->setValue(image[depth].average_frames);
    ui->sb_intensity_aveg_frame->setValue(image[intensity].average_frames);
    ui->sb_ambient_max_val->setValue(image[ambient].max_value);
    ui->sb_depth_max_val->setValue(image[depth].max_value);
    ui->sb_intensity_max_val->setValue(image[intensity].max_value);
    ui->sb_ambient_min_val->setValue(image[ambient].min_value);
    ui->sb_depth_min_val->setValue(image[depth].min_value);
    ui->sb_intensity_min_val->setValue(image[intensity].min_value);
}

menu_image_analysis::~menu_image_analysis() { delete ui; }

void menu_image_analysis::updateScene(scene_t& scene) {
    frame_width = static_cast<int>(scene.cols);
    frame_height = static_cast<int>(scene.rows);
    for (image_state& s : image) s.label->setFixedSize(s.zoom * frame_width, s.zoom * frame_height);

    if (selected) {
        // A frame smaller than the one the pixel was picked on keeps it inside.
        x = std::min(x, double(std::max(frame_width - 1, 0)));
        y = std::min(y, double(std::max(frame_height - 1, 0)));
        show_pixel_text();
    }
    const std::size_t at = std::size_t(y) * std::size_t(std::max(frame_width, 0)) + std::size_t(x);
    const auto value_at = [at](const auto& values) {
        return at < values.size() ? static_cast<std::uint32_t>(values[at]) : 0u;
    };
    show_image(ambient, display::wrap(scene.ambient, scene.rows, scene.cols), value_at(scene.ambient));
    show_image(depth, display::wrap(scene.depth, scene.rows, scene.cols), value_at(scene.depth));
    show_image(intensity, display::wrap(scene.intensity, scene.rows, scene.cols), value_at(scene.intensity));
}

void menu_image_analysis::show_image(kind k, const cv::Mat& raw, std::uint32_t raw_value) {
    if (raw.empty()) return;  // the label keeps its picture
    image_state& s = image[k];
    display::pipeline_params p;
    p.auto_norm = s.auto_norm->isChecked();
    p.min_value = s.min_value;
    p.max_value = s.max_value;
    p.equalise = s.equalise->isChecked();
    p.invert = k == depth;
    p.colour = s.grey->isChecked() ? display::colour_map::grey : display::colour_map::jet;
    if (s.average->isChecked()) {
        const int frames = s.average_frames;
        p.average = [&s, frames](cv::Mat& grey8) { s.averager.push(grey8, frames); };
        p.average_after_equalise = k == depth;
    } else {
        s.averager.clear();
    }
    cv::Mat rgb;  // a fresh picture every frame
    display::render(raw, p, s.grey8, rgb);
    if (selected) {
        pixel_pick::draw_ring(rgb, int(x), int(y));
        s.readout->setText(QString::number(raw_value));
    }
    s.picture = rgb;
    label_picture::show(s.label, rgb, Qt::KeepAspectRatioByExpanding);
}

void menu_image_analysis::show_pixel_text() {
    ui->le_pixel->setText(QStringLiteral("(%1, %2)").arg(QString::number(x, 'g', 6), QString::number(y, 'g', 6)));
}

cv::Mat menu_image_analysis::getMean(std::vector<cv::Mat> images) { return frame_averager::mean(images); }

void menu_image_analysis::on_sb_ambient_aveg_frame_valueChanged(int value) { image[ambient].average_frames = value; }
void menu_image_analysis::on_sb_depth_aveg_frame_valueChanged(int value) { image[depth].average_frames = value; }
void menu_image_analysis::on_sb_intensity_aveg_frame_valueChanged(int value) { image[intensity].average_frames = value; }
void menu_image_analysis::on_sb_ambient_max_val_valueChanged(int value) { image[ambient].max_value = value; }
void menu_image_analysis::on_sb_ambient_min_val_valueChanged(int value) { image[ambient].min_value = value; }
void menu_image_analysis::on_sb_depth_max_val_valueChanged(int value) { image[depth].max_value = value; }
void menu_image_analysis::on_sb_depth_min_val_valueChanged(int value) { image[depth].min_value = value; }
void menu_image_analysis::on_sb_intensity_max_val_valueChanged(int value) { image[intensity].max_value = value; }
void menu_image_analysis::on_sb_intensity_min_val_valueChanged(int value) { image[intensity].min_value = value; }

void menu_image_analysis::on_pushButton_clicked() {
    configuration.dual_channel = ui->tg_spad_channel_mode->currentIndex() == 0 ? 1 : 0;
    configuration.vcsel_manual_cs = static_cast<std::uint8_t>(ui->sb_vcsel_channel->value());
    emit send_menu_apply_setting(configuration);
}

void menu_image_analysis::get_menu_current_setting(configurations_t configuration_) {
    configuration = configuration_;
    ui->sb_vcsel_channel->setValue(configuration.vcsel_manual_cs);
    ui->tg_spad_channel_mode->setCurrentIndex(configuration.dual_channel != 0 ? 0 : 1);
}

void menu_image_analysis::opened() { emit send_menu_current_setting(); }

void menu_image_analysis::closed() { emit send_close_ui(); }

void menu_image_analysis::keyPressEvent(QKeyEvent* event) {
    if (selected) {
        switch (event->key()) {
        case Qt::Key_A: pixel_pick::move(pixel_pick::key::left, x, y, frame_width, frame_height); return;
        case Qt::Key_W: pixel_pick::move(pixel_pick::key::up, x, y, frame_width, frame_height); return;
        case Qt::Key_D: pixel_pick::move(pixel_pick::key::right, x, y, frame_width, frame_height); return;
        case Qt::Key_S: pixel_pick::move(pixel_pick::key::down, x, y, frame_width, frame_height); return;
        default: break;
        }
    }
    tool_dialog::keyPressEvent(event);  // Escape closes
}

bool menu_image_analysis::eventFilter(QObject* watched, QEvent* event) {
    for (image_state& s : image) {
        if (watched != s.label) continue;
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) {
                x = pixel_pick::from_click(mouse->localPos().x(), s.zoom, frame_width);
                y = pixel_pick::from_click(mouse->localPos().y(), s.zoom, frame_height);
                selected = true;
            } else if (mouse->button() == Qt::RightButton) {
                x = y = 0;
                selected = false;
                show_pixel_text();
            }
        } else if (event->type() == QEvent::Wheel) {
            const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
            s.zoom = delta < 1 ? std::max(1, s.zoom - 1) : std::min(10, s.zoom + 1);
        }
        break;
    }
    return tool_dialog::eventFilter(watched, event);
}
