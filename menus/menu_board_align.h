// GX Board Align: one chosen image of every frame enlarged, with horizontal
// and vertical bands through a chosen row and column, an enlarged square
// region of interest with a table of its raw values, a picked pixel, three
// live status values of the sensor, the SPAD channel mode, and a save of the
// four pictures as PNG files.
#pragma once

#include "device/DadodUz.h"
#include "menus/tool_dialog.h"

#include <QString>
#include <array>
#include <opencv2/core.hpp>
#include <vector>

class region_table_model;

namespace Ui {
class menu_board_align;
}

class menu_board_align : public tool_dialog {
    Q_OBJECT

public:
    using configurations_t = TAVRIN::DadodUz::configurations_t;
    using scene_t = TAVRIN::DadodUz::scene_t;
    using sensing_packet_t = TAVRIN::DadodUz::sensing_packet_t;

    // The stored pictures, in R, G, B order.
    enum picture { full, horizontal, vertical, zoom, pictures };

    explicit menu_board_align(QWidget* parent = nullptr);
    ~menu_board_align() override;

    const configurations_t& current_configuration() const { return configuration; }
    const cv::Mat& stored_picture(picture p) const { return stored[p]; }
    // The picture shown in the main label before scaling (with the ring).
    const cv::Mat& shown_main_picture() const { return shown_main; }
    cv::Rect region() const { return roi; }
    int largest_region() const { return largest; }
    int main_zoom() const { return z; }
    bool pixel_picked() const { return picked; }
    double picked_x() const { return x; }
    double picked_y() const { return y; }
    const region_table_model* table_model() const { return table; }

signals:
    void send_tool_image_analysis(std::vector<uint32_t>& data, int width, int height);
    void send_menu_apply_setting(configurations_t& configuration_);
    void send_menu_current_setting();
    void send_menu_log(QString str);
    void send_close_ui();

public slots:
    void updateScene(scene_t& scene);
    void get_tool_image_analysis(std::vector<uint32_t>& data, int width, int height);
    void on_tg_image_type_currentIndexChanged(int index);
    void on_sb_min_val_valueChanged(int value);
    void on_sb_max_val_valueChanged(int value);
    void on_sb_row_valueChanged(int value);
    void on_sb_col_valueChanged(int value);
    void on_btn_save_image_clicked();
    void on_btn_apply_clicked();
    void on_sb_zoom_img_size_valueChanged(int value);

public:
    void get_menu_current_setting(configurations_t configuration_);
    // The status record of the sensor, while the dialog is open.
    void update_status(sensing_packet_t& sensing);

protected:
    void opened() override;
    void closed() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void first_frame(int rows, int cols);

    Ui::menu_board_align* ui;
    region_table_model* table;
    configurations_t configuration{};
    int image_type = 1;
    std::array<int, 3> max_value{{5000, 5000, 5000}};
    std::array<int, 3> min_value{{0, 0, 0}};
    int row = 0;  // the bands' centre, as sb_row and sb_col hold it
    int col = 0;
    double x = 0;
    double y = 0;
    bool picked = false;
    int z = 1;
    int zoom_factor = 4;
    cv::Rect roi{0, 0, 1, 1};
    int largest = 0;
    bool first_done = false;
    int rows = 0;  // size of the last frame
    int cols = 0;
    std::array<cv::Mat, pictures> stored;
    cv::Mat shown_main;
    cv::Mat grey8;                      // working buffer of the pipeline
    std::vector<std::uint32_t> values;  // the chosen image widened, for the table
};
