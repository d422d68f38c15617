// Draws the program's icons into a directory and writes the resource list
// (icons.qrc) that maps them to ":/icon/...". Run at build time.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>
#include <cstdio>

namespace {
const char* const kButtonIcons[] = {
    "icon_play", "icon_pause", "icon_stop", "icon_repeat", "icon_repeat_1x", "icon_record",
    "icon_record_stop", "icon_capture", "icon_connect", "icon_load", "icon_device",
    "icon_pointcloud_viewer", "icon_image_viewer", "icon_grid", "icon_xy_axis", "icon_yz_axis",
    "icon_zx_axis", "icon_status", "icon_histogram_viewer", "icon_image_analysis",
    "icon_board_align", "icon_offset_cal", "icon_lens_cal"};

QImage draw_placeholder(const QString& name) {
    QImage img(64, 64, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0xd0, 0xd8, 0xe0), 4));
    p.drawEllipse(8, 8, 48, 48);
    p.drawText(img.rect(), Qt::AlignCenter, name.mid(5, 2));
    return img;
}
} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: icon_generator OUTPUT_DIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out + "/icon");
    QFile qrc(out + "/icons.qrc");
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) return 1;
    QTextStream s(&qrc);
    s << "<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/icon\">\n";
    for (const char* name : kButtonIcons) {
        const QString file = QString("icon/%1.png").arg(name);
        if (!draw_placeholder(name).save(out + "/" + file, "PNG")) return 1;
        s << "  <file>" << file << "</file>\n";
    }
    QImage logo = draw_placeholder("  GX");
    if (!logo.save(out + "/tavrin_logo.ico", "ICO") && !logo.save(out + "/tavrin_logo.ico", "PNG")) return 1;
    s << "  <file>tavrin_logo.ico</file>\n</qresource>\n</RCC>\n";
    return 0;
}
