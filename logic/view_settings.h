// Settings of the two views as the settings dialogs, the user tool bar and
// the main window hold and pass them on. Initial values equal the views' own.
#pragma once

namespace view_settings {

// Point cloud view: colour mode (0 White .. 3 Blue, 4 Ambient, 5 Depth,
// 6 Intensity), point size in pixels and the distance window in metres.
struct pointcloud_settings {
    int point_color = 4;
    double point_size = 2.0;
    double max_distance = 200.0;
    double min_distance = 0.0;
};

// Image view, one image kind: fixed range or auto normalisation, histogram
// equalisation and grey instead of colour.
struct image_kind_settings {
    bool auto_norm = false;
    double min_val = 0;
    double max_val = 0;
    bool hist_mode = false;
    bool grey_mode = false;
};

enum image_kind { kind_ambient = 0, kind_depth = 1, kind_intensity = 2 };

struct image_settings {
    image_kind_settings ambient{false, 0, 500, false, false};
    image_kind_settings depth{false, 0, 20000, false, false};
    image_kind_settings intensity{false, 0, 400, false, false};

    // The settings of kind 0 ambient, 1 depth, 2 intensity (others: ambient).
    image_kind_settings& of(int kind) { return kind == kind_depth ? depth : kind == kind_intensity ? intensity : ambient; }
    const image_kind_settings& of(int kind) const {
        return kind == kind_depth ? depth : kind == kind_intensity ? intensity : ambient;
    }
};

} // namespace view_settings
