// Draws the program's icons into a directory and writes the resource list
// (icons.qrc) that maps them to ":/icon/...". Run at build time.
//
// Every icon is painted here with QPainter on a transparent 64x64 canvas. The
// buttons that show them are dark (about #455364 / #37414F) and scale them down
// to 24-30 px, so the shapes are bold, light-stroked and use one accent colour
// per family (playback, recording, viewers, axes, calibration).
#include "device/command_line.h"
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>
#include <QtMath>
#include <cstdio>
#include <functional>

namespace {

constexpr int kSize = 64;

// Palette.
const QColor kLight(0xE6, 0xE9, 0xEC);     // main strokes, close to the UI text colour
const QColor kDim(0xA9, 0xB4, 0xC0);       // secondary strokes
const QColor kPlay(0x4C, 0xD0, 0x7D);      // playback accent (green)
const QColor kRecord(0xF0, 0x4A, 0x4A);    // recording accent (red)
const QColor kViewer(0x4F, 0xC3, 0xF7);    // viewers / connection accent (cyan)
const QColor kCalib(0xF5, 0xB0, 0x41);     // calibration / files accent (amber)
const QColor kAxisX(0xFF, 0x6B, 0x6B);
const QColor kAxisY(0x6B, 0xDB, 0x7A);
const QColor kAxisZ(0x5D, 0xA9, 0xF0);

QPen stroke(const QColor& c, qreal w) {
    QPen pen(c, w);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

QFont bold_font(int pixel_size) {
    QFont f("DejaVu Sans");
    f.setStyleHint(QFont::SansSerif);
    f.setBold(true);
    f.setPixelSize(pixel_size);
    return f;
}

// Arrowhead pointing along `dir_deg` (degrees, screen coordinates) with its tip at `tip`.
QPainterPath arrow_head(QPointF tip, qreal dir_deg, qreal len, qreal half_width) {
    const qreal a = qDegreesToRadians(dir_deg);
    const QPointF d(qCos(a), qSin(a));
    const QPointF n(-d.y(), d.x());
    QPainterPath path;
    path.moveTo(tip);
    path.lineTo(tip - d * len + n * half_width);
    path.lineTo(tip - d * len - n * half_width);
    path.closeSubpath();
    return path;
}

// ---- playback -------------------------------------------------------------

void draw_play(QPainter& p) {
    QPainterPath tri;
    tri.moveTo(19, 11);
    tri.lineTo(53, 32);
    tri.lineTo(19, 53);
    tri.closeSubpath();
    p.setPen(stroke(kPlay, 6));
    p.setBrush(kPlay);
    p.drawPath(tri);
}

void draw_pause(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kLight);
    p.drawRoundedRect(QRectF(14, 11, 13, 42), 3, 3);
    p.drawRoundedRect(QRectF(37, 11, 13, 42), 3, 3);
}

void draw_stop(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kLight);
    p.drawRoundedRect(QRectF(13, 13, 38, 38), 5, 5);
}

// Two arcs chasing each other round a circle, each ending in an arrowhead.
void draw_cycle(QPainter& p, const QColor& c, QPointF centre, qreal r, qreal width) {
    const QRectF box(centre.x() - r, centre.y() - r, 2 * r, 2 * r);
    p.setBrush(Qt::NoBrush);
    p.setPen(stroke(c, width));
    // Qt angles run counter-clockwise from 3 o'clock in 1/16 degree; a negative span
    // runs clockwise. One arc starts at 170 deg, the other at 350 deg.
    const qreal gap = 38;  // degrees left free for each arrowhead
    p.drawArc(box, int((180 - 10) * 16), int(-(180 - gap) * 16));
    p.drawArc(box, int((360 - 10) * 16), int(-(180 - gap) * 16));
    // Arrowheads just past the clockwise end of each arc.
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    for (qreal arc_end : {170.0 - (180 - gap), 350.0 - (180 - gap)}) {
        const qreal a = qDegreesToRadians(arc_end - gap * 0.55);  // math angle of the tip
        const QPointF tip(centre.x() + r * qCos(a), centre.y() - r * qSin(a));
        // Clockwise on screen, the tangent at math angle a is (sin a, cos a).
        const qreal dir = qRadiansToDegrees(qAtan2(qCos(a), qSin(a)));
        p.drawPath(arrow_head(tip, dir, width * 2.6, width * 1.9));
    }
}

void draw_repeat(QPainter& p) { draw_cycle(p, kLight, QPointF(32, 32), 20, 6); }

void draw_repeat_1x(QPainter& p) {
    draw_cycle(p, kPlay, QPointF(32, 32), 21, 6);
    p.setPen(kLight);
    p.setFont(bold_font(26));
    p.drawText(QRectF(0, 0, kSize, kSize), Qt::AlignCenter, "1");
}

// ---- recording ------------------------------------------------------------

void draw_record(QPainter& p) {
    QRadialGradient g(QPointF(27, 26), 26);
    g.setColorAt(0, kRecord.lighter(125));
    g.setColorAt(1, kRecord);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(QPointF(32, 32), 20, 20);
}

void draw_record_stop(QPainter& p) {
    p.setBrush(Qt::NoBrush);
    p.setPen(stroke(kRecord, 5));
    p.drawEllipse(QPointF(32, 32), 25, 25);
    p.setPen(Qt::NoPen);
    p.setBrush(kRecord);
    p.drawRoundedRect(QRectF(21, 21, 22, 22), 3, 3);
}

void draw_capture(QPainter& p) {
    // Camera body with the viewfinder hump, lens punched through.
    QPainterPath body;
    body.addRoundedRect(QRectF(6, 19, 52, 35), 7, 7);
    QPainterPath hump;
    hump.moveTo(20, 21);
    hump.lineTo(25, 11);
    hump.lineTo(39, 11);
    hump.lineTo(44, 21);
    hump.closeSubpath();
    body = body.united(hump);
    QPainterPath lens_hole;
    lens_hole.addEllipse(QPointF(32, 36), 13, 13);
    p.setPen(Qt::NoPen);
    p.setBrush(kLight);
    p.drawPath(body.subtracted(lens_hole));
    p.setBrush(kCalib);
    p.drawEllipse(QPointF(32, 36), 8, 8);
    p.setBrush(kRecord);
    p.drawEllipse(QPointF(50, 26), 2.5, 2.5);
}

// ---- device ---------------------------------------------------------------

void draw_connect(QPainter& p) {
    // A plug and a socket meeting on a diagonal.
    p.translate(32, 32);
    p.rotate(-45);
    p.setPen(Qt::NoPen);
    p.setBrush(kLight);
    // plug (left half): body + two prongs
    p.drawRoundedRect(QRectF(-22, -11, 15, 22), 4, 4);
    p.drawRect(QRectF(-8, -8, 7, 5));
    p.drawRect(QRectF(-8, 3, 7, 5));
    // socket (right half)
    p.setBrush(kViewer);
    p.drawRoundedRect(QRectF(5, -11, 15, 22), 4, 4);
    // cables
    p.setPen(stroke(kLight, 6));
    p.drawLine(QPointF(-22, 0), QPointF(-31, 0));
    p.setPen(stroke(kViewer, 6));
    p.drawLine(QPointF(20, 0), QPointF(31, 0));
    p.resetTransform();
}

void draw_load(QPainter& p) {
    // Folder: back with tab, front flap tilted open.
    QPainterPath back;
    back.moveTo(6, 14);
    back.lineTo(24, 14);
    back.lineTo(29, 20);
    back.lineTo(54, 20);
    back.lineTo(54, 52);
    back.lineTo(6, 52);
    back.closeSubpath();
    p.setPen(stroke(kCalib.darker(135), 2));
    p.setBrush(kCalib.darker(125));
    p.drawPath(back);
    QPainterPath front;
    front.moveTo(14, 29);
    front.lineTo(61, 29);
    front.lineTo(54, 52);
    front.lineTo(6, 52);
    front.closeSubpath();
    p.setPen(stroke(kCalib, 2));
    p.setBrush(kCalib);
    p.drawPath(front);
}

QPainterPath gear_path(QPointF c, qreal r_outer, qreal r_inner, qreal r_hole, int teeth) {
    QPainterPath gear;
    gear.setFillRule(Qt::WindingFill);
    gear.addEllipse(c, r_inner, r_inner);
    for (int i = 0; i < teeth; ++i) {
        QPainterPath tooth;
        const qreal w = 2 * M_PI * r_inner / teeth * 0.5;
        tooth.addRoundedRect(QRectF(-w / 2, -r_outer, w, r_outer - r_inner + 4), 2, 2);
        QTransform t;
        t.translate(c.x(), c.y());
        t.rotate(360.0 / teeth * i);
        gear = gear.united(t.map(tooth));
    }
    QPainterPath hole;
    hole.addEllipse(c, r_hole, r_hole);
    return gear.subtracted(hole);
}

void draw_device(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kLight);
    p.drawPath(gear_path(QPointF(32, 32), 26, 18, 8, 8));
}

void draw_status(QPainter& p) {
    // Monitor with a pulse line.
    p.setBrush(Qt::NoBrush);
    p.setPen(stroke(kLight, 4.5));
    p.drawRoundedRect(QRectF(5, 10, 54, 44), 6, 6);
    QPainterPath pulse;
    pulse.moveTo(9, 34);
    pulse.lineTo(20, 34);
    pulse.lineTo(25, 24);
    pulse.lineTo(31, 45);
    pulse.lineTo(37, 18);
    pulse.lineTo(42, 34);
    pulse.lineTo(55, 34);
    p.setPen(stroke(kPlay, 5));
    p.drawPath(pulse);
}

// ---- viewers --------------------------------------------------------------

void draw_pointcloud_viewer(QPainter& p) {
    // Floor grid in perspective with points floating above it.
    p.setBrush(Qt::NoBrush);
    p.setPen(stroke(kDim, 2.5));
    const QPointF a(4, 50), b(32, 60), c(60, 46), d(32, 38);
    p.drawPolygon(QPolygonF({a, b, c, d}));
    p.drawLine((a + b) / 2, (d + c) / 2);
    p.drawLine((a + d) / 2, (b + c) / 2);
    struct Dot { qreal x, y, r; };
    const Dot dots[] = {{14, 30, 4.5}, {26, 20, 4},   {40, 26, 5},   {52, 16, 3.5},
                        {32, 8, 3.5},  {20, 42, 3.5}, {46, 38, 4},   {10, 16, 3},
                        {54, 30, 3}};
    p.setPen(Qt::NoPen);
    for (const Dot& dot : dots) {
        p.setBrush(dot.r >= 4 ? kViewer : kViewer.lighter(130));
        p.drawEllipse(QPointF(dot.x, dot.y), dot.r, dot.r);
    }
}

void draw_picture(QPainter& p, const QRectF& frame, qreal pen_w) {
    p.setBrush(Qt::NoBrush);
    p.setPen(stroke(kLight, pen_w));
    p.drawRoundedRect(frame, 4, 4);
    const qreal x0 = frame.left() + pen_w, x1 = frame.right() - pen_w;
    const qreal y1 = frame.bottom() - pen_w;
    const qreal w = x1 - x0, h = frame.height() - 2 * pen_w;
    QPainterPath hills;
    hills.moveTo(x0, y1);
    hills.lineTo(x0 + w * 0.34, y1 - h * 0.62);
    hills.lineTo(x0 + w * 0.58, y1 - h * 0.28);
    hills.lineTo(x0 + w * 0.72, y1 - h * 0.45);
    hills.lineTo(x1, y1 - h * 0.05);
    hills.lineTo(x1, y1);
    hills.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kViewer);
    p.drawPath(hills);
    p.setBrush(kCalib);
    const qreal sr = h * 0.13;
    p.drawEllipse(QPointF(x0 + w * 0.76, frame.top() + pen_w + h * 0.25), sr, sr);
}

void draw_image_viewer(QPainter& p) { draw_picture(p, QRectF(6, 11, 52, 42), 5); }

void draw_grid(QPainter& p) {
    p.setBrush(Qt::NoBrush);
    p.setPen(stroke(kLight, 4.5));
    p.drawRoundedRect(QRectF(8, 8, 48, 48), 3, 3);
    p.setPen(stroke(kLight, 3.5));
    for (qreal v : {24.0, 40.0}) {
        p.drawLine(QPointF(v, 8), QPointF(v, 56));
        p.drawLine(QPointF(8, v), QPointF(56, v));
    }
}

// Right-angle axes: `h` along the bottom, `v` up the left side.
void draw_axes(QPainter& p, const char* h, const QColor& hc, const char* v, const QColor& vc) {
    const QPointF o(12, 51);
    p.setPen(stroke(hc, 5));
    p.drawLine(o, QPointF(50, 51));
    p.setPen(stroke(vc, 5));
    p.drawLine(o, QPointF(12, 14));
    p.setPen(Qt::NoPen);
    p.setBrush(hc);
    p.drawPath(arrow_head(QPointF(61, 51), 0, 14, 8));
    p.setBrush(vc);
    p.drawPath(arrow_head(QPointF(12, 3), -90, 14, 8));
    p.setBrush(kLight);
    p.drawEllipse(o, 4, 4);
    p.setFont(bold_font(29));
    p.setPen(hc);
    p.drawText(QRectF(36, 18, 28, 28), Qt::AlignCenter, h);
    p.setPen(vc);
    p.drawText(QRectF(18, 0, 26, 28), Qt::AlignCenter, v);
}

void draw_xy_axis(QPainter& p) { draw_axes(p, "X", kAxisX, "Y", kAxisY); }
void draw_yz_axis(QPainter& p) { draw_axes(p, "Y", kAxisY, "Z", kAxisZ); }
void draw_zx_axis(QPainter& p) { draw_axes(p, "Z", kAxisZ, "X", kAxisX); }

void draw_histogram_viewer(QPainter& p) {
    const qreal heights[] = {16, 30, 42, 26, 12};
    p.setPen(Qt::NoPen);
    p.setBrush(kViewer);
    for (int i = 0; i < 5; ++i) {
        const qreal x = 8 + i * 10;
        p.drawRoundedRect(QRectF(x, 52 - heights[i], 8, heights[i]), 1.5, 1.5);
    }
    p.setPen(stroke(kLight, 4));
    p.drawLine(QPointF(5, 55), QPointF(59, 55));
}

void draw_image_analysis(QPainter& p) {
    draw_picture(p, QRectF(3, 5, 44, 36), 4);
    // Magnifier over the lower right corner: dark-backed glass so it reads on the picture.
    const QPointF c(40, 38);
    const qreal r = 13;
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(c, r + 5, r + 5);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setBrush(QColor(kViewer.red(), kViewer.green(), kViewer.blue(), 90));
    p.setPen(stroke(kLight, 5));
    p.drawEllipse(c, r, r);
    p.setPen(stroke(kLight, 8));
    p.drawLine(c + QPointF(r * 0.72 + 3, r * 0.72 + 3), QPointF(60, 60));
}

// ---- calibration ----------------------------------------------------------

void draw_board_align(QPainter& p) {
    const QPointF c(32, 32);
    p.setBrush(Qt::NoBrush);
    p.setPen(stroke(kCalib, 5));
    p.drawEllipse(c, 19, 19);
    p.setPen(stroke(kLight, 5));
    p.drawLine(QPointF(32, 3), QPointF(32, 21));
    p.drawLine(QPointF(32, 43), QPointF(32, 61));
    p.drawLine(QPointF(3, 32), QPointF(21, 32));
    p.drawLine(QPointF(43, 32), QPointF(61, 32));
    p.setPen(Qt::NoPen);
    p.setBrush(kCalib);
    p.drawEllipse(c, 4.5, 4.5);
}

void draw_offset_cal(QPainter& p) {
    // Ruler along the bottom, a double-headed offset arrow above it.
    p.setPen(Qt::NoPen);
    p.setBrush(kCalib);
    p.drawRoundedRect(QRectF(4, 36, 56, 20), 3, 3);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(stroke(Qt::black, 3));
    for (int i = 0; i <= 6; ++i) {
        const qreal x = 11 + i * 7;
        p.drawLine(QPointF(x, 36), QPointF(x, i % 2 == 0 ? 47 : 42));
    }
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setPen(stroke(kLight, 5));
    p.drawLine(QPointF(17, 18), QPointF(47, 18));
    p.setPen(Qt::NoPen);
    p.setBrush(kLight);
    p.drawPath(arrow_head(QPointF(4, 18), 180, 13, 9));
    p.drawPath(arrow_head(QPointF(60, 18), 0, 13, 9));
}

void draw_lens_cal(QPainter& p) {
    // Biconvex lens focusing three rays onto a point.
    p.setPen(stroke(kLight, 4));
    p.setBrush(Qt::NoBrush);
    for (qreal y : {16.0, 32.0, 48.0}) {
        p.drawLine(QPointF(4, y), QPointF(24, y));
        p.drawLine(QPointF(24, y), QPointF(56, 32));
    }
    QPainterPath lens;
    lens.moveTo(24, 6);
    lens.quadTo(38, 32, 24, 58);
    lens.quadTo(10, 32, 24, 6);
    p.setPen(stroke(kCalib, 3));
    QColor glass = kCalib;
    glass.setAlpha(215);
    p.setBrush(glass);
    p.drawPath(lens);
    p.setPen(Qt::NoPen);
    p.setBrush(kLight);
    p.drawEllipse(QPointF(56, 32), 5, 5);
}

void draw_depth_quality(QPainter& p) {
    // A wall's profile with a level line through it and a tick of approval.
    p.setPen(stroke(kLight, 3));
    p.setBrush(Qt::NoBrush);
    QPainterPath profile;
    profile.moveTo(4, 26);
    const qreal bumps[] = {22, 29, 23, 28, 24, 27, 25};
    for (int i = 0; i < 7; ++i) profile.lineTo(11 + i * 7, bumps[i]);
    p.drawPath(profile);
    p.setPen(stroke(kCalib, 3));
    p.drawLine(QPointF(4, 26), QPointF(60, 26));
    p.setPen(stroke(kLight, 6));
    p.drawLine(QPointF(16, 44), QPointF(27, 55));
    p.drawLine(QPointF(27, 55), QPointF(50, 34));
}

// ---- window icon ----------------------------------------------------------

// LiDAR fan: rays sweeping up from the sensor with returns at their ends, and
// the "GX" badge underneath, on a dark rounded tile.
QImage draw_logo(int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(size / 64.0, size / 64.0);
    QLinearGradient bg(0, 0, 0, 64);
    bg.setColorAt(0, QColor(0x2B, 0x3A, 0x4C));
    bg.setColorAt(1, QColor(0x14, 0x1B, 0x23));
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(1, 1, 62, 62), 12, 12);

    const QPointF origin(32, 42);
    const qreal reach = 36;
    const qreal from = 35, span = 110;  // degrees, counter-clockwise from 3 o'clock
    QPainterPath fan;
    fan.moveTo(origin);
    fan.arcTo(QRectF(origin.x() - reach, origin.y() - reach, 2 * reach, 2 * reach), from, span);
    fan.closeSubpath();
    QRadialGradient glow(origin, reach);
    glow.setColorAt(0, QColor(0x4F, 0xC3, 0xF7, 230));
    glow.setColorAt(1, QColor(0x4F, 0xC3, 0xF7, 40));
    p.setBrush(glow);
    p.drawPath(fan);
    // Rays with a return at the end of each.
    const qreal hits[] = {30, 34, 29, 33, 31};
    for (int i = 0; i < 5; ++i) {
        const qreal a = qDegreesToRadians(from + 9 + i * (span - 18) / 4);
        const QPointF dir(qCos(a), -qSin(a));
        p.setPen(stroke(QColor(0xE1, 0xF5, 0xFE), 2.5));
        p.drawLine(origin, origin + dir * (hits[i] - 3));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(origin + dir * hits[i], 3.2, 3.2);
    }
    // Sensor badge with the brand letters.
    p.setBrush(kLight);
    p.drawRoundedRect(QRectF(12, 41, 40, 19), 5, 5);
    p.setPen(QColor(0x14, 0x1B, 0x23));
    p.setFont(bold_font(17));
    p.drawText(QRectF(12, 41, 40, 19), Qt::AlignCenter, "GX");
    p.end();
    return img;
}

struct IconDef {
    const char* name;
    void (*draw)(QPainter&);
};

const IconDef kButtonIcons[] = {
    {"icon_play", draw_play},
    {"icon_pause", draw_pause},
    {"icon_stop", draw_stop},
    {"icon_repeat", draw_repeat},
    {"icon_repeat_1x", draw_repeat_1x},
    {"icon_record", draw_record},
    {"icon_record_stop", draw_record_stop},
    {"icon_capture", draw_capture},
    {"icon_connect", draw_connect},
    {"icon_load", draw_load},
    {"icon_device", draw_device},
    {"icon_pointcloud_viewer", draw_pointcloud_viewer},
    {"icon_image_viewer", draw_image_viewer},
    {"icon_grid", draw_grid},
    {"icon_xy_axis", draw_xy_axis},
    {"icon_yz_axis", draw_yz_axis},
    {"icon_zx_axis", draw_zx_axis},
    {"icon_status", draw_status},
    {"icon_histogram_viewer", draw_histogram_viewer},
    {"icon_image_analysis", draw_image_analysis},
    {"icon_board_align", draw_board_align},
    {"icon_offset_cal", draw_offset_cal},
    {"icon_lens_cal", draw_lens_cal},
    {"icon_depth_quality", draw_depth_quality},
};

QImage render_icon(void (*draw)(QPainter&)) {
    QImage img(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    draw(p);
    p.end();
    return img;
}

} // namespace

int main(int argc, char** argv) {
    // Only images are painted: the minimal platform with the system's fonts
    // draws the same pixels as the offscreen one, which never frees its screen.
    std::string output;
    {
        namespace po = command_line::po;
        po::options_description desc("usage: icon_generator OUTPUT_DIR\n"
                                     "Draws the window icon and the button icons with their resource file, and the "
                                     "logo at 48, 128 and 256 px for the icon theme (run by the build).\noptions");
        desc.add_options()("help", "show this text")
            ("output", po::value(&output)->value_name("OUTPUT_DIR"), "the folder written (also the first word)");
        po::positional_options_description positional;
        positional.add("output", 1);
        po::variables_map vm;
        if (const int done = command_line::read_or_answer(argc, argv, desc, "icon_generator", vm, &positional); done >= 0)
            return done;
        if (output.empty()) {
            std::fprintf(stderr, "icon_generator: OUTPUT_DIR is needed (icon_generator --help lists the options)\n");
            return 2;
        }
    }
    qputenv("QT_QPA_PLATFORM", "minimal:enable_fonts");
    QGuiApplication app(argc, argv);
    const QString out = QString::fromStdString(output);
    if (!QDir().mkpath(out + "/icon")) {
        std::fprintf(stderr, "icon_generator: cannot create %s/icon\n", output.c_str());
        return 1;
    }
    QFile qrc(out + "/icons.qrc");
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) return 1;
    QTextStream s(&qrc);
    s << "<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/icon\">\n";
    for (const IconDef& icon : kButtonIcons) {
        const QString file = QString("icon/%1.png").arg(icon.name);
        if (!render_icon(icon.draw).save(out + "/" + file, "PNG")) {
            std::fprintf(stderr, "icon_generator: cannot write %s\n", qPrintable(file));
            return 1;
        }
        s << "  <file>" << file << "</file>\n";
    }
    // The ICO writer stores one image per file; 64x64 is crisp for window and task bar.
    const QImage logo = draw_logo(64);
    const QString logo_path = out + "/tavrin_logo.ico";
    if (!logo.save(logo_path, "ICO") && !logo.save(logo_path, "PNG")) {
        std::fprintf(stderr, "icon_generator: cannot write tavrin_logo.ico\n");
        return 1;
    }
    // The same logo for the desktop's icon theme (hicolor), drawn at each size.
    for (const int size : {48, 128, 256}) {
        const QString path = QString("%1/logo_%2.png").arg(out).arg(size);
        if (!draw_logo(size).save(path, "PNG")) {
            std::fprintf(stderr, "icon_generator: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    s << "  <file>tavrin_logo.ico</file>\n</qresource>\n</RCC>\n";
    s.flush();
    return qrc.error() == QFile::NoError ? 0 : 1;
}
