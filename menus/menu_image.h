// Image settings dialog: per image kind (ambient, depth, intensity) the
// scaling range or auto normalisation, histogram equalisation and grey.
// The controls edit the kind selected in the type combo; Apply stores them
// into that kind's held settings and tells the tool bar, which copies all
// fifteen values from these members.
#pragma once

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
    bool auto_norm_ambient = false;
    bool auto_norm_depth = false;
    bool auto_norm_intensity = false;
    double min_val_ambient = 0;
    double min_val_depth = 0;
    double min_val_intensity = 0;
    double max_val_ambient = 500;
    double max_val_depth = 20000;
    double max_val_intensity = 400;
    bool hist_mode_ambient = false;
    bool hist_mode_depth = false;
    bool hist_mode_intensity = false;
    bool grey_mode_ambient = false;
    bool grey_mode_depth = false;
    bool grey_mode_intensity = false;

signals:
    void send_menu_image(bool enable);
    void send_menu_log(QString str);

public slots:
    void on_btn_apply_clicked();
    void on_tg_image_type_currentIndexChanged(int index);

private:
    // The held settings of one image kind.
    struct kind_settings {
        bool* auto_norm;
        double* min_val;
        double* max_val;
        bool* hist_mode;
        bool* grey_mode;
    };
    kind_settings settings_of(int type);
    void load_controls(int type);

    Ui::menu_image* ui;
};
