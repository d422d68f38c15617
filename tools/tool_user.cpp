#include "tools/tool_user.h"

#include "widgets/dialog_seam.h"
#include "menus/menu_connection.h"
#include "menus/menu_device_user.h"
#include "menus/menu_image.h"
#include "menus/menu_pointcloud.h"
#include "ui_tool_user.h"

#include <QDir>
#include <QPushButton>

tool_user::tool_user(QWidget* parent) : QWidget(parent), ui(new Ui::tool_user) {
    ui->setupUi(this);

    connection = new menu_connection(this);
    device_user = new menu_device_user(this);
    image_menu = new menu_image(this);
    pointcloud_menu = new menu_pointcloud(this);

    connect(ui->btn_connect, &QPushButton::clicked, connection, &QWidget::show);
    connect(ui->btn_device_user, &QPushButton::clicked, device_user, &QWidget::show);
    connect(ui->btn_image, &QPushButton::clicked, image_menu, &QWidget::show);
    connect(ui->btn_pointcloud, &QPushButton::clicked, pointcloud_menu, &QWidget::show);

    connect(pointcloud_menu, &menu_pointcloud::send_menu_pointcloud, this, &tool_user::get_tool_pointcloud);
    connect(image_menu, &menu_image::send_menu_image, this, &tool_user::get_tool_image);

    connect(device_user, &menu_device_user::send_menu_current_setting, this,
            &tool_user::get_tool_current_setting_trigger);
    connect(device_user, &menu_device_user::send_menu_apply_setting, this, &tool_user::get_tool_apply_user);
    connect(device_user, &menu_device_user::send_menu_apply_data_procssing, this,
            &tool_user::get_tool_apply_data_processing);
}

tool_user::~tool_user() { delete ui; }

void tool_user::receive_current_setting(configurations_t& configuration) {
    setting_requested = false;
    device_user->get_menu_current_setting(configuration);
}

void tool_user::get_tool_current_setting_trigger() {
    setting_requested = true;
    emit send_tool_current_setting();
}

void tool_user::get_tool_apply_user(configurations_t& configuration) { emit send_tool_apply_user(configuration); }

void tool_user::get_tool_apply_data_processing(std::vector<int>& params) {
    emit send_tool_apply_data_processing(params);
}

void tool_user::get_tool_connection_status(bool enable) { ui->btn_load->setEnabled(!enable); }

void tool_user::get_tool_close_all() {
    if (connection->isVisible()) connection->close();
    if (device_user->isVisible()) device_user->close();
}

void tool_user::on_btn_load_clicked() {
    // Any open recording or stream is closed before a new file is chosen.
    emit send_tool_play_mode(false);
    file_path = dialog_seam::open_file_name(this, tr("Load GX Data"), QDir::homePath(), tr("Record GX Data(*.bin)"));
    if (!file_path.isEmpty()) emit send_tool_play_mode(true);
}

void tool_user::on_btn_grid_clicked() { emit send_tool_grid(true); }

void tool_user::on_btn_xy_axis_clicked() { emit send_tool_xy_axis(true); }

void tool_user::on_btn_yz_axis_clicked() { emit send_tool_yz_axis(true); }

void tool_user::on_btn_zx_axis_clicked() { emit send_tool_zx_axis(true); }

void tool_user::get_tool_pointcloud(bool enable) {
    if (enable) pointcloud = pointcloud_menu->pointcloud;
    emit send_tool_pointcloud(enable);
}

void tool_user::get_tool_image(bool enable) {
    if (enable) image = image_menu->image;
    emit send_tool_image(enable);
}
