// Fixtures for tests that need Qt's event loop.
//  widget_test: QApplication on the offscreen platform (tests/widgets).
//  render_test: QApplication on an X server, for OpenGL and VTK (tests/render).
// Both answer message boxes and file dialogs through `dialogs`.
#pragma once

#include "tests/support/dialog_answerer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>
#include <functional>

// The child control of `parent` with the object name `name`, looked up as
// type T. A missing control is a test failure (and a null pointer), so a
// renamed control shows up by name instead of as a crash.
template <class T>
T* control(const QObject* parent, const char* name) {
    T* c = parent == nullptr ? nullptr : parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << "no control named " << name;
    return c;
}

// The first argument of every call a spy caught, as text (log lines, messages).
inline QStringList spied_texts(const QSignalSpy& spy) {
    QStringList out;
    for (const auto& call : spy) out << call.at(0).toString();
    return out;
}

class qt_test : public ::testing::Test {
protected:
    // Runs the event loop until pred() holds or timeout_ms passes; returns pred().
    static bool wait_until(const std::function<bool()>& pred, int timeout_ms = 5000) {
        QElapsedTimer t;
        t.start();
        while (!pred()) {
            if (t.elapsed() > timeout_ms) return pred();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QTest::qWait(1);
        }
        return true;
    }
    // Runs the event loop for ms milliseconds.
    static void pump(int ms) { QTest::qWait(ms); }

    QString temp_path(const QString& name) const { return tmp.filePath(name); }

    dialog_answerer dialogs;
    QTemporaryDir tmp;
};

class widget_test : public qt_test {
protected:
    void SetUp() override {
        ASSERT_NE(QCoreApplication::instance(), nullptr) << "widget tests need the offscreen QApplication";
    }
};

class render_test : public qt_test {
protected:
    void SetUp() override {
        ASSERT_NE(QCoreApplication::instance(), nullptr) << "render tests need a QApplication on an X server";
        ASSERT_EQ(QGuiApplication::platformName(), QString("xcb")) << "render tests run under xvfb-run";
    }
};
