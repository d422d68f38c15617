#include "monkey/monkey_run.h"

#include "app/MainWindow.h"
#include "app/startup.h"
#include "menus/menu_connection.h"
#include "tests/support/emulator_process.h"
#include "tools/tool_admin.h"
#include "tools/tool_user.h"
#include "widgets/dialog_seam.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <QWheelEvent>

#include <execinfo.h>
#include <pthread.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

qint64 now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Prints the stack of the thread it interrupts: the watchdog sends it to the
// window's thread while the event loop stands still, so that the report says
// where it waits. backtrace() was called once before, so it allocates nothing here.
void print_stack(int) {
    static const char head[] = "gx_monkey: the window's thread stands here:\n";
    if (::write(STDERR_FILENO, head, sizeof head - 1) < 0) return;
    void* frames[64];
    ::backtrace_symbols_fd(frames, ::backtrace(frames, 64), STDERR_FILENO);
}

qint64 resident_kib() {
    std::ifstream statm("/proc/self/statm");
    long long pages = 0, resident = 0;
    statm >> pages >> resident;
    return qint64(resident) * (::sysconf(_SC_PAGESIZE) / 1024);
}

void write_file(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(bytes);
}

QByteArray random_bytes(monkey_hands& hands, int n) {
    QByteArray b(n, '\0');
    for (char& c : b) c = char(hands.raw());
    return b;
}

// The first pattern's extension of a file dialog filter ("Table (*.csv)" -> ".csv").
QString extension_of(const QString& filter) {
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("\\*(\\.[A-Za-z0-9]+)")).match(filter);
    return m.hasMatch() ? m.captured(1) : QString();
}

} // namespace

monkey_run::monkey_run(const settings& s) : settings_(s), hands_(s.seed), fault_seed_(s.seed * 7919u + 1) {}

monkey_run::~monkey_run() {
    stop_ = true;
    if (faults_.joinable()) faults_.join();
    if (watchdog_.joinable()) watchdog_.join();
    dialog_seam::set_responder({});
    if (inotify_fd_ >= 0) ::close(inotify_fd_);
}

void monkey_run::prepare_files() {
    const QString f = settings_.folder;
    for (const char* sub : {"out", "garbage"}) QDir(f).mkpath(QString::fromLatin1(sub));
    write_file(f + "/blocker", "a file where a folder is expected\n"); // blocker/x cannot be written
    const QString g = f + "/garbage/";
    const std::pair<const char*, QByteArray> files[] = {
        {"random.bin", random_bytes(hands_, 70000)},
        {"text.bin", "this is not a recording\n"},
        {"empty.bin", {}},
        {"random.ini", random_bytes(hands_, 3000)},
        {"odd.ini", "[Connection-0]\ndevice_port = 99999999999\ndevice_ip_address = \"\xff\xfe\"\n[Device_settings-0]\n"
                    "fps = -1e308\nfir_coef = \"nan\", \"inf\"\n[\n=\n"},
        {"random.csv", random_bytes(hands_, 5000)},
        {"odd.csv", "1,2,3\nx,y\n,,,,,,,,\n-5,1e999\n99999999999999999999,1\n\"\n"},
        {"random.pcd", random_bytes(hands_, 20000)},
        {"lying.pcd", "# .PCD v0.7\nVERSION 0.7\nFIELDS x y z\nSIZE 4 4 4\nTYPE F F F\nCOUNT 1 1 1\nWIDTH 1000000000\n"
                      "HEIGHT 1\nVIEWPOINT 0 0 0 1 0 0 0\nPOINTS 1000000000\nDATA binary\n\x01\x02\x03"},
        {"odd.pcd", "# .PCD v0.7\nFIELDS x y z\nSIZE 4 4 4\nTYPE F F F\nCOUNT 1 1 1\nWIDTH 3\nHEIGHT 1\n"
                    "POINTS 3\nDATA ascii\n1 2 3\nnan inf -inf\n1e999 x\n"},
    };
    for (const auto& file : files) {
        write_file(g + QString::fromLatin1(file.first), file.second);
        garbage_files_ << g + QString::fromLatin1(file.first);
    }
    // A true ground truth too, so that the lens tool has something to measure against.
    QProcess emulator;
    emulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    emulator.setStandardOutputFile(QProcess::nullDevice());
    emulator.start(QStringLiteral(GX_EMULATOR_PATH), {QStringLiteral("--ground-truth"), f + "/out/ground_truth.pcd"});
    if (!emulator.waitForFinished(60000) || emulator.exitStatus() != QProcess::NormalExit || emulator.exitCode() != 0)
        std::fprintf(stderr, "gx_monkey: no ground truth written\n");
}

QString monkey_run::pick_path(bool save) {
    const QString f = settings_.folder;
    const int r = hands_.below(100);
    if (r < 12) return {}; // cancelled
    if (r < 20) return f + "/missing/folder/file";
    if (r < 28) return f + "/blocker/file";
    if (!save && r < 60 && !garbage_files_.isEmpty()) return garbage_files_[hands_.below(garbage_files_.size())];
    if (!save || r < 45) {
        // Something written earlier in this run (a recording, a table, a capture).
        QStringList written;
        for (QDirIterator it(f + "/out", QDir::Files, QDirIterator::Subdirectories); it.hasNext();) written << it.next();
        if (!written.isEmpty()) return written[hands_.below(written.size())];
    }
    return QStringLiteral("%1/out/monkey_%2").arg(f).arg(figures_.files_answered);
}

void monkey_run::install_answers() {
    dialog_seam::set_responder([this](const dialog_seam::request& req) {
        dialog_seam::answer a;
        switch (req.type) {
        case dialog_seam::kind::modal_dialog:
            if (auto* d = qobject_cast<QDialog*>(req.parent)) hands_.chance(0.5) ? d->accept() : d->reject();
            break;
        case dialog_seam::kind::save_file:
        case dialog_seam::kind::open_file: {
            ++figures_.files_answered;
            const bool save = req.type == dialog_seam::kind::save_file;
            a.file = pick_path(save);
            if (save && !a.file.isEmpty() && hands_.chance(0.7)) a.file += extension_of(req.filter);
            break;
        }
        default: {
            ++figures_.boxes_answered;
            QList<QMessageBox::StandardButton> offered;
            for (int b = QMessageBox::FirstButton; b <= QMessageBox::LastButton; b <<= 1)
                if (req.buttons.testFlag(QMessageBox::StandardButton(b))) offered << QMessageBox::StandardButton(b);
            a.button = offered.isEmpty() ? QMessageBox::Ok : offered[hands_.below(offered.size())];
        }
        }
        return a;
    });
}

bool monkey_run::start_emulator(const std::vector<std::string>& faults) {
    std::vector<std::string> args = {"--fps", "25"};
    if (port_ > 0) args.insert(args.end(), {"--port", std::to_string(port_.load())});
    args.insert(args.end(), faults.begin(), faults.end());
    for (int attempt = 0; attempt < 30 && !stop_; ++attempt) {
        auto emu = std::make_unique<emulator_process>(args);
        emu->set_state_file((settings_.folder + "/emulator.state").toStdString());
        if (emu->start()) {
            std::lock_guard<std::mutex> lock(emulator_mutex_);
            port_ = emu->port();
            emulator_ = std::move(emu);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the port still held
    }
    return false;
}

void monkey_run::fault_loop() {
    monkey_hands dice(fault_seed_);
    auto nap = [&](int ms) {
        for (int t = 0; t < ms && !stop_; t += 50) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    };
    while (!stop_) {
        nap(6000 + dice.below(9000));
        if (stop_) break;
        std::vector<std::string> faults;
        std::string name;
        int down_ms = 0;
        switch (dice.below(5)) {
        case 0: name = "restart"; break;
        case 1: {
            const std::string share = dice.chance(0.5) ? "0.05" : "0.3";
            faults = {"--drop-fragments", share};
            name = "drop " + share + " of the fragments";
            break;
        }
        case 2: faults = {"--mute-commands"}, name = "mute commands"; break;
        case 3: faults = {"--malformed"}, name = "malformed answers and datagrams"; break;
        default: down_ms = 1000 + dice.below(3000), name = "killed and down for 1 to 4 s";
        }
        {
            std::lock_guard<std::mutex> lock(emulator_mutex_);
            if (emulator_) emulator_->kill_hard();
            emulator_.reset();
            ++figures_.faults;
            ++figures_.faults_by_kind[name];
            fault_now_ = name;
        }
        nap(down_ms);
        if (stop_) break;
        if (start_emulator(faults)) {
            std::lock_guard<std::mutex> lock(emulator_mutex_);
            ++figures_.emulator_restarts;
        } else {
            std::fprintf(stderr, "gx_monkey: the emulator did not start again on port %d\n", port_.load());
        }
    }
}

void monkey_run::watch_outside(const QString& dir) {
    if (inotify_fd_ < 0) inotify_fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_fd_ >= 0 && !dir.isEmpty())
        ::inotify_add_watch(inotify_fd_, QFile::encodeName(dir).constData(), IN_CREATE | IN_MODIFY | IN_MOVED_TO);
}

void monkey_run::read_outside_changes() {
    if (inotify_fd_ < 0) return;
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t n = ::read(inotify_fd_, buf, sizeof buf);
        if (n <= 0) return;
        for (ssize_t i = 0; i < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buf + i);
            const QString name = e->len > 0 ? QFile::decodeName(e->name) : QStringLiteral("?");
            if (!figures_.written_outside.contains(name)) figures_.written_outside << name;
            i += ssize_t(sizeof(inotify_event) + e->len);
        }
    }
}

void monkey_run::heartbeat() {
    const qint64 now = now_ms();
    const qint64 stall = now - last_beat_.load();
    figures_.longest_stall_ms = std::max(figures_.longest_stall_ms, stall);
    last_beat_ = now;
    if (stall > settings_.max_stall_ms) {
        std::string fault;
        {
            std::lock_guard<std::mutex> lock(emulator_mutex_);
            fault = fault_now_;
        }
        std::fprintf(stderr, "gx_monkey: the event loop stood still %lld ms; last step: %s; last fault: %s\n",
                     static_cast<long long>(stall), qPrintable(last_step_), fault.c_str());
    }
    if (++beats_ % 20 == 0) {
        figures_.peak_rss_kib = std::max(figures_.peak_rss_kib, resident_kib());
        read_outside_changes();
    }
}

void monkey_run::keep_connected() {
    if (window_->device_handle() != nullptr || port_ <= 0) return;
    window_->user_tool()->connection->set_connection_values("127.0.0.1", port_, "127.0.0.1", 0);
    last_step_ += QStringLiteral("connect, ");
    window_->get_main_connect_status(true);
    ++figures_.reconnects;
}

void monkey_run::press_next_tool_button() {
    QList<QAbstractButton*> buttons = window_->user_tool()->findChildren<QAbstractButton*>();
    buttons += window_->admin_tool()->findChildren<QAbstractButton*>();
    buttons.erase(std::remove_if(buttons.begin(), buttons.end(),
                                 [](QAbstractButton* b) { return !b->isVisible() || !b->isEnabled(); }),
                  buttons.end());
    if (buttons.isEmpty()) return;
    QAbstractButton* b = buttons[next_button_++ % buttons.size()];
    last_step_ += QStringLiteral("tool button \"%1\", ").arg(b->objectName());
    b->click();
    ++figures_.clicks;
}

void monkey_run::note_new_windows() {
    QList<QWidget*> open;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || w == window_.get() || (w->windowFlags() & Qt::Popup) == Qt::Popup) continue;
        open << w;
        if (!seen_windows_.contains(w)) {
            seen_windows_.insert(w);
            connect(w, &QObject::destroyed, this, [this, w] { seen_windows_.remove(w); });
            ++figures_.dialogs_opened;
        }
    }
    // A few windows at a time: the hands reach each of them more often.
    if (open.size() > 5) open[hands_.below(open.size())]->close();
}

QWidget* monkey_run::pick_target() {
    QList<QWidget*> windows;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && (w->windowFlags() & Qt::Popup) != Qt::Popup) windows << w;
    if (windows.isEmpty()) return nullptr;
    QWidget* window = windows[hands_.below(windows.size())];
    QList<QWidget*> parts{window};
    for (QWidget* c : window->findChildren<QWidget*>())
        if (c->isVisible() && c->isEnabled()) parts << c;
    return parts[hands_.below(parts.size())];
}

const char* monkey_run::act_on(QWidget* target) {
    QPointer<QWidget> w(target);
    const QPoint at(hands_.below(std::max(1, w->width())), hands_.below(std::max(1, w->height())));
    auto mouse = [&](QEvent::Type type, Qt::MouseButton button) {
        if (!w) return;
        QMouseEvent e(type, at, w->mapToGlobal(at), button, type == QEvent::MouseButtonRelease ? Qt::NoButton : button,
                      Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    };
    auto key = [&](int code, Qt::KeyboardModifiers mods, const QString& text) {
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            if (!w) return;
            QKeyEvent e(type, code, mods, text);
            QApplication::sendEvent(w, &e);
        }
    };
    ++figures_.events;
    switch (hands_.next_action()) {
    case monkey_hands::action::click:
    case monkey_hands::action::right_click: {
        const Qt::MouseButton b = hands_.chance(0.9) ? Qt::LeftButton : Qt::RightButton;
        mouse(QEvent::MouseButtonPress, b);
        mouse(QEvent::MouseButtonRelease, b);
        ++figures_.clicks;
        return b == Qt::LeftButton ? "click" : "right click";
    }
    case monkey_hands::action::double_click:
        mouse(QEvent::MouseButtonPress, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, Qt::LeftButton);
        mouse(QEvent::MouseButtonDblClick, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, Qt::LeftButton);
        ++figures_.clicks;
        return "double click";
    case monkey_hands::action::wheel: {
        const int steps = hands_.chance(0.5) ? 120 : -120 * (1 + hands_.below(5));
        QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, steps), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(w, &e);
        ++figures_.wheels;
        return "wheel";
    }
    case monkey_hands::action::key: {
        const int code = hands_.next_key();
        const QString text = code >= Qt::Key_Space && code <= Qt::Key_AsciiTilde ? QString(QChar(code)) : QString();
        key(code, hands_.chance(0.1) ? Qt::ControlModifier : Qt::NoModifier, text);
        ++figures_.keys;
        return "key";
    }
    case monkey_hands::action::text:
        key(Qt::Key_unknown, Qt::NoModifier, hands_.next_text());
        if (hands_.chance(0.5)) key(Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        ++figures_.texts;
        return "text";
    case monkey_hands::action::clear:
        key(Qt::Key_A, Qt::ControlModifier, QString());
        key(Qt::Key_Backspace, Qt::NoModifier, QString());
        key(Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        ++figures_.texts;
        return "clear";
    }
    return "nothing";
}

void monkey_run::step() {
    ++steps_;
    last_step_.clear();
    // A context menu runs an event loop of its own; the hands close it.
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    if (!window_->isVisible()) window_->show();
    note_new_windows();
    if (steps_ % 40 == 0) press_next_tool_button();
    if (steps_ % 250 == 0) keep_connected();
    if (QWidget* target = pick_target()) {
        const QString where = QStringLiteral("%1 \"%2\" in %3")
                                  .arg(QString::fromLatin1(target->metaObject()->className()), target->objectName(),
                                       QString::fromLatin1(target->window()->metaObject()->className()));
        last_step_ += QString::fromLatin1(act_on(target)) + " on " + where;
    }
}

bool monkey_run::run() {
    for (const QString& dir : settings_.watched) watch_outside(dir);
    prepare_files();
    install_answers();
    if (!start_emulator({})) {
        std::fprintf(stderr, "gx_monkey: cannot start the emulator\n");
        return false;
    }
    window_ = std::make_unique<MainWindow>(nullptr, true);
    window_->resize(1400, 900);
    window_->show();
    startup::wait_until_painted(*window_);
    keep_connected();

    last_beat_ = now_ms();
    faults_ = std::thread(&monkey_run::fault_loop, this);
    // The watchdog has the window's thread print its stack once a stall
    // reaches three quarters of the limit. Should the event loop stand still
    // for good, the run ends with a message rather than hanging whoever started it.
    void* warm_up[1];
    ::backtrace(warm_up, 1);
    struct sigaction report = {};
    report.sa_handler = print_stack;
    report.sa_flags = SA_RESTART;
    ::sigaction(SIGUSR2, &report, nullptr);
    const pthread_t window_thread = ::pthread_self();
    watchdog_ = std::thread([this, window_thread] {
        qint64 reported_beat = -1;
        while (!stop_) {
            const qint64 beat = last_beat_.load();
            if (now_ms() - beat > settings_.max_stall_ms * 3 / 4 && beat != reported_beat) {
                reported_beat = beat;  // once per stall
                ::pthread_kill(window_thread, SIGUSR2);
            }
            if (now_ms() - beat > 30000) {
                std::fprintf(stderr, "gx_monkey: the event loop stood still for 30 s\n");
                std::abort();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    auto* beat = new QTimer(this);
    connect(beat, &QTimer::timeout, this, &monkey_run::heartbeat);
    beat->start(50);
    auto* hands = new QTimer(this);
    connect(hands, &QTimer::timeout, this, &monkey_run::step);
    hands->start(20);
    QTimer::singleShot(int(settings_.seconds * 1000), qApp, &QCoreApplication::quit);
    QApplication::exec();
    hands->stop();
    heartbeat();
    beat->stop();

    stop_ = true;
    faults_.join();
    watchdog_.join();
    figures_.peak_rss_kib = std::max(figures_.peak_rss_kib, resident_kib());
    read_outside_changes();
    if (window_->device_handle() != nullptr) window_->get_main_connect_status(false);
    window_.reset();
    {
        std::lock_guard<std::mutex> lock(emulator_mutex_);
        emulator_.reset();
    }
    return figures_.longest_stall_ms <= settings_.max_stall_ms && figures_.peak_rss_kib <= settings_.max_rss_mb * 1024 &&
           figures_.written_outside.isEmpty();
}
