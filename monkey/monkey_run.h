// One run of the GUI monkey: the administrator's main window against an
// emulator on 127.0.0.1 whose faults change while it runs, driven by random
// hands through every dialog, with its boxes and file dialogs answered at
// random from a folder of its own. It watches the event loop (a heartbeat),
// the resident memory and the files written outside its folder.
#pragma once

#include "monkey/monkey_hands.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <map>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class MainWindow;
class QWidget;
class emulator_process;

class monkey_run : public QObject {
public:
    // Under AddressSanitizer every allocation and copy is checked, and the
    // software renderer takes seconds to allocate a new view's frame buffers:
    // such a build is allowed twice the stall.
#if defined(__SANITIZE_ADDRESS__)
    static constexpr int default_max_stall_ms = 4000;
#else
    static constexpr int default_max_stall_ms = 2000;
#endif
    struct settings {
        double seconds = 60;
        std::uint64_t seed = 1;
        QString folder;           // everything the run writes goes here
        int max_stall_ms = default_max_stall_ms;  // the event loop may not stand still longer
        int max_rss_mb = 3000;
        QStringList watched;      // folders nothing may be written to (the caller's home and working folder)
    };
    struct figures {
        std::uint64_t events = 0, clicks = 0, keys = 0, texts = 0, wheels = 0;
        std::uint64_t dialogs_opened = 0, boxes_answered = 0, files_answered = 0;
        std::uint64_t faults = 0, emulator_restarts = 0, reconnects = 0;
        qint64 longest_stall_ms = 0;
        qint64 peak_rss_kib = 0;
        QStringList written_outside; // names created or changed outside the folder
        std::map<std::string, int> faults_by_kind;
    };

    explicit monkey_run(const settings& s);
    ~monkey_run() override;

    // Runs the event loop for the time set; true when every check held.
    bool run();
    const figures& result() const { return figures_; }

private:
    void prepare_files();
    void install_answers();
    void step();
    void heartbeat();
    void keep_connected();
    void press_next_tool_button();
    void note_new_windows();
    // Sends one random event to target; returns what it sent.
    const char* act_on(QWidget* target);
    QWidget* pick_target();
    QString pick_path(bool save);
    void fault_loop();
    bool start_emulator(const std::vector<std::string>& faults);
    void watch_outside(const QString& dir);
    void read_outside_changes();

    settings settings_;
    figures figures_;
    monkey_hands hands_;
    std::unique_ptr<MainWindow> window_;
    std::atomic<qint64> last_beat_{0};
    QSet<QWidget*> seen_windows_;
    int next_button_ = 0;
    std::uint64_t beats_ = 0;
    std::uint64_t steps_ = 0;
    QString last_step_;  // what the hands did last, for the report of a stall
    QStringList garbage_files_;

    // The emulator and its faults change on a thread of their own, so that
    // a restart never holds up the event loop.
    std::mutex emulator_mutex_;
    std::unique_ptr<emulator_process> emulator_;
    std::atomic<int> port_{0};
    std::atomic<bool> stop_{false};
    std::thread faults_;
    std::thread watchdog_;
    std::uint64_t fault_seed_ = 0;
    std::string fault_now_ = "none";  // under emulator_mutex_

    int inotify_fd_ = -1;
};
