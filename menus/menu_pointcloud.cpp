#include "menu_pointcloud.h"

#include "ui_menu_pointcloud.h"

menu_pointcloud::menu_pointcloud(QWidget* parent) : QDialog(parent), ui(new Ui::menu_pointcloud) {
    ui->setupUi(this);
    ui->cb_PointColor->setCurrentIndex(point_color);
    ui->sb_PointSize->setValue(point_size);
    ui->sb_MaxDistance->setValue(max_distance);
    ui->sb_MinDistance->setValue(min_distance);
}

menu_pointcloud::~menu_pointcloud() { delete ui; }

void menu_pointcloud::on_btn_apply_clicked() {
    point_color = ui->cb_PointColor->currentIndex();
    point_size = ui->sb_PointSize->value();
    max_distance = ui->sb_MaxDistance->value();
    min_distance = ui->sb_MinDistance->value();
    emit send_menu_pointcloud(true);
}
