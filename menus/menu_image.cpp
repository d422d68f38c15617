#include "menus/menu_image.h"

#include "ui_menu_image.h"

menu_image::menu_image(QWidget* parent) : QDialog(parent), ui(new Ui::menu_image) {
    ui->setupUi(this);
    ui->tg_image_type->setCurrentIndex(image_type);
    load_controls(image_type);
}

menu_image::~menu_image() { delete ui; }

void menu_image::load_controls(int type) {
    const view_settings::image_kind_settings& s = image.of(type);
    ui->cb_auto_normal->setChecked(s.auto_norm);
    ui->sb_min_val->setValue(s.min_val);
    ui->sb_max_val->setValue(s.max_val);
    ui->cb_hist_equal->setChecked(s.hist_mode);
    ui->cb_grey->setChecked(s.grey_mode);
}

void menu_image::on_btn_apply_clicked() {
    view_settings::image_kind_settings& s = image.of(ui->tg_image_type->currentIndex());
    s.auto_norm = ui->cb_auto_normal->isChecked();
    s.min_val = ui->sb_min_val->value();
    s.max_val = ui->sb_max_val->value();
    s.hist_mode = ui->cb_hist_equal->isChecked();
    s.grey_mode = ui->cb_grey->isChecked();
    emit send_menu_image(true);
}

void menu_image::on_tg_image_type_currentIndexChanged(int index) {
    if (index < 0 || index > 2) return; // the combo was cleared
    image_type = index;
    // Edits not applied before the switch are discarded.
    load_controls(index);
}
