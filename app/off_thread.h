#pragma once
// Runs a blocking call on a thread of its own while the window's thread keeps
// its event loop turning: timers fire and the window repaints, but input is
// held back (a real user's until the call has returned, a synthetic one is
// dropped), so nothing the call works on is touched from the window meanwhile.
#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>

#include <thread>
#include <utility>

namespace off_thread {

// Swallows input sent straight to the widgets while the call runs.
class input_block : public QObject {
public:
    input_block() { qApp->installEventFilter(this); }
    ~input_block() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::Shortcut: return true;
        default: return false;
        }
    }
};

// Returns call()'s result once it has returned; call must not touch widgets.
template <class Call> auto wait_for(Call&& call) -> decltype(call()) {
    decltype(call()) result{};
    QEventLoop loop;
    input_block block;
    std::thread worker([&] {
        result = call();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();  // also when the application quit the loop early
    return result;
}

}  // namespace off_thread
