// Point cloud settings dialog: colour mode, point size and the distance
// window. Apply stores the controls' values here and tells the tool bar,
// which copies them from these members.
#pragma once

#include "logic/view_settings.h"

#include <QDialog>

namespace Ui {
class menu_pointcloud;
}

class menu_pointcloud : public QDialog {
    Q_OBJECT

public:
    explicit menu_pointcloud(QWidget* parent = nullptr);
    ~menu_pointcloud() override;

    // The applied settings (the point cloud view's own initial values).
    view_settings::pointcloud_settings pointcloud;

signals:
    void send_menu_pointcloud(bool enable);

public slots:
    void on_btn_apply_clicked();

private:
    Ui::menu_pointcloud* ui;
};
