// The test programs turn Qt's "No matching signal" warning of the form slot
// auto-connection into a test failure (tests/support/test_main.cpp).
#include "tests/support/qt_fixtures.h"

#include <QMetaObject>
#include <QPushButton>
#include <QWidget>
#include <gtest/gtest-spi.h>

namespace {

// A form with one button and a slot for it.
class clean_probe : public QWidget {
    Q_OBJECT
public:
    clean_probe() {
        auto* button = new QPushButton(this);
        button->setObjectName("btn_present");
    }
    int clicks = 0;
public slots:
    void on_btn_present_clicked() { ++clicks; }
};

// The same form with a slot that names a control that does not exist.
class slot_probe : public clean_probe {
    Q_OBJECT
public slots:
    void on_missing_widget_clicked() {}
};

void connect_probe() {
    slot_probe probe;
    QMetaObject::connectSlotsByName(&probe);
}

} // namespace

TEST(slot_connection_check, a_slot_without_its_control_fails_the_test) {
    EXPECT_NONFATAL_FAILURE(connect_probe(), "on_missing_widget_clicked");
}

TEST(slot_connection_check, slots_with_their_controls_connect_quietly) {
    clean_probe probe;
    QMetaObject::connectSlotsByName(&probe);
    control<QPushButton>(&probe, "btn_present")->click();
    EXPECT_EQ(probe.clicks, 1);
}

#include "slot_connection_check_test.moc"
