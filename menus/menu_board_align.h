// GX Board Align dialog of the administrator tools. For now a shell with the
// connections the main window and the administrator tool bar make.
#pragma once

#include "device/DadodUz.h"
#include "menus/tool_dialog.h"

#include <QString>
#include <vector>

class menu_board_align : public tool_dialog {
    Q_OBJECT

public:
    using configurations_t = TAVRIN::DadodUz::configurations_t;
    using scene_t = TAVRIN::DadodUz::scene_t;
    using sensing_packet_t = TAVRIN::DadodUz::sensing_packet_t;
    using histogram_t = TAVRIN::DadodUz::histogram_t;

    explicit menu_board_align(QWidget* parent = nullptr);
    ~menu_board_align() override;

signals:
    void send_menu_apply_setting(configurations_t& configuration_);
    void send_menu_current_setting();
    void send_close_ui();

public slots:
    void updateScene(scene_t& scene);
    void get_menu_current_setting(configurations_t& configuration_);

public:
    // The status packet of the sensor, while the dialog is open.
    void update_status(sensing_packet_t& sensing);

protected:
    void opened() override;
    void closed() override;

private:
    configurations_t configuration{};
};
