#include "menus/menu_pointcloud.h"

#include "ui_menu_pointcloud.h"

menu_pointcloud::menu_pointcloud(QWidget* parent) : QDialog(parent), ui(new Ui::menu_pointcloud) {
    ui->setupUi(this);
    ui->cb_PointColor->setCurrentIndex(pointcloud.point_color);
    ui->sb_PointSize->setValue(pointcloud.point_size);
    ui->sb_MaxDistance->setValue(pointcloud.max_distance);
    ui->sb_MinDistance->setValue(pointcloud.min_distance);
}

menu_pointcloud::~menu_pointcloud() { delete ui; }

void menu_pointcloud::on_btn_apply_clicked() {
    pointcloud.point_color = ui->cb_PointColor->currentIndex();
    pointcloud.point_size = ui->sb_PointSize->value();
    pointcloud.max_distance = ui->sb_MaxDistance->value();
    pointcloud.min_distance = ui->sb_MinDistance->value();
    emit send_menu_pointcloud(true);
}
