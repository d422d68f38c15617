#include "monkey/monkey_hands.h"

#include <Qt>

#include <iterator>

namespace {
const int kKeys[] = {Qt::Key_Tab,    Qt::Key_Backtab,  Qt::Key_Return, Qt::Key_Enter,     Qt::Key_Escape,
                     Qt::Key_Space,  Qt::Key_Up,       Qt::Key_Down,   Qt::Key_Left,      Qt::Key_Right,
                     Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Home,   Qt::Key_End,       Qt::Key_Delete,
                     Qt::Key_Backspace, Qt::Key_0,     Qt::Key_5,      Qt::Key_9,         Qt::Key_Minus,
                     Qt::Key_Period, Qt::Key_A,        Qt::Key_X,      Qt::Key_Z,         Qt::Key_F1};

const char* const kTexts[] = {
    "99999999999999999999999", "-99999999999", "-1", "-0", "0", "2147483648", "-2147483649", "4294967296",
    "1e308", "-1e308", "1e-320", "nan", "inf", "-inf", "0x7fffffff", "1,5", "1.5.5", "..", "--5", "+",
    "256.256.256.256", "127.0.0.1", "127.0.0.1:0", "127.0.0.1:99999", ":", "::1", "%s%n%x", "\\\\", "\"",
    "'; DROP", "\t", " ", "\xce\xa9\xd0\xb6\xc3\xa9\xe6\xbc\xa2\xe5\xad\x97", "\xf0\x9f\x98\x80",
    "\xd8\xa7\xd9\x84\xd8\xb9\xd8\xb1\xd8\xa8\xd9\x8a\xd8\xa9", ""};
} // namespace

monkey_hands::action monkey_hands::next_action() {
    // Mostly clicks and typing; a right click opens a context menu now and then.
    const int r = below(100);
    if (r < 38) return action::click;
    if (r < 41) return action::right_click;
    if (r < 49) return action::double_click;
    if (r < 59) return action::wheel;
    if (r < 77) return action::key;
    if (r < 95) return action::text;
    return action::clear;
}

int monkey_hands::next_key() { return kKeys[below(int(std::size(kKeys)))]; }

QString monkey_hands::next_text() {
    const int r = below(10);
    if (r < 6) return QString::fromUtf8(kTexts[below(int(std::size(kTexts)))]);
    if (r < 8) return QString::number(qint64(raw()) >> below(64)); // any size, either sign
    // Printable garbage, up to a long line.
    QString s;
    const int n = chance(0.1) ? 2000 : 1 + below(24);
    for (int i = 0; i < n; ++i) s.append(QChar(0x20 + below(0x5f)));
    return s;
}

int monkey_hands::below(int n) {
    if (n <= 0) return 0;
    return int(std::uniform_int_distribution<int>(0, n - 1)(rng_));
}

bool monkey_hands::chance(double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < p; }
