// Point cloud settings dialog: colour mode, point size and the distance
// window. Apply stores the controls' values here and tells the tool bar,
// which copies them from these members.
#pragma once

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
    int point_color = 4;        // 0 White .. 3 Blue, 4 Ambient, 5 Depth, 6 Intensity
    double point_size = 2.0;
    double max_distance = 200.0; // metres
    double min_distance = 0.0;   // metres

signals:
    void send_menu_pointcloud(bool enable);

public slots:
    void on_btn_apply_clicked();

private:
    Ui::menu_pointcloud* ui;
};
