// GX Status dialog of the administrator tools. For now a shell with the
// connections the main window and the administrator tool bar make.
#pragma once

#include "device/DadodUz.h"

#include <QDialog>
#include <QString>
#include <vector>

class menu_status : public QDialog {
    Q_OBJECT

public:
    using configurations_t = TAVRIN::DadodUz::configurations_t;
    using scene_t = TAVRIN::DadodUz::scene_t;
    using sensing_packet_t = TAVRIN::DadodUz::sensing_packet_t;
    using histogram_t = TAVRIN::DadodUz::histogram_t;

    explicit menu_status(QWidget* parent = nullptr);
    ~menu_status() override;
    void update_status(sensing_packet_t& sensing);
signals:


public slots:


private:
    configurations_t configuration{};
};
