// Image settings dialog: per image kind (ambient, depth, intensity) the
// scaling range or auto normalisation, histogram equalisation and grey.
// The controls edit the kind selected in the type combo; Apply stores them
// into that kind's held settings and tells the tool bar, which copies all
// fifteen values from these members.
#pragma once

#include "logic/view_settings.h"

#include <QDialog>
#include <QString>

namespace Ui {
class menu_image;
}

class menu_image : public QDialog {
    Q_OBJECT

public:
    explicit menu_image(QWidget* parent = nullptr);
    ~menu_image() override;

    int image_type = 0; // 0 ambient, 1 depth, 2 intensity

    // The applied settings (the image view's own initial values).
    view_settings::image_settings image;

signals:
    void send_menu_image(bool enable);
    void send_menu_log(QString str);

public slots:
    void on_btn_apply_clicked();
    void on_tg_image_type_currentIndexChanged(int index);

private:
    void load_controls(int type);

    Ui::menu_image* ui;
};
