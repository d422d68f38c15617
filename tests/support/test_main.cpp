// Entry point of every test program. VEZOVAD_TEST_PLATFORM says whether a
// QApplication is needed and on which platform it runs.
//
// Every program runs with a private home and working directory (removed at
// exit), so nothing a test writes lands in the home or working directory of
// whoever runs the tests; a test that leaves files in the working directory
// fails. Qt's warning that an auto-connected slot found no signal fails the
// running test: a renamed control must not silently disconnect a button.
#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSurfaceFormat>
#include <QVTKOpenGLNativeWidget.h>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

QtMessageHandler previous_handler = nullptr;

void test_message_handler(QtMsgType type, const QMessageLogContext& context, const QString& msg) {
    if (msg.contains(QLatin1String("QMetaObject::connectSlotsByName: No matching signal")))
        ADD_FAILURE() << "a form slot has no matching signal: " << msg.toStdString();
    if (previous_handler != nullptr) previous_handler(type, context, msg);
}

// A temporary directory holding the run's home ("home") and working
// directory ("work").
class private_directories {
public:
    bool create() {
        char tmpl[] = "/tmp/vezovad_test_XXXXXX";
        if (::mkdtemp(tmpl) == nullptr) return false;
        root_ = tmpl;
        const std::string home = root_ + "/home";
        work_ = root_ + "/work";
        if (!QDir().mkpath(QString::fromStdString(home)) || !QDir().mkpath(QString::fromStdString(work_))) return false;
        // An X server reached through the real home's authority file stays reachable.
        const char* real_home = std::getenv("HOME");
        if (std::getenv("XAUTHORITY") == nullptr && real_home != nullptr) {
            const std::string authority = std::string(real_home) + "/.Xauthority";
            if (::access(authority.c_str(), R_OK) == 0) ::setenv("XAUTHORITY", authority.c_str(), 1);
        }
        ::setenv("HOME", home.c_str(), 1);
        // The XDG directories follow the private home (Mesa's shader cache, Qt's runtime files).
        for (const char* name : {"XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
            ::unsetenv(name);
        return ::chdir(work_.c_str()) == 0;
    }
    ~private_directories() {
        if (root_.empty()) return;
        if (::chdir("/") != 0) return;
        QDir(QString::fromStdString(root_)).removeRecursively();
    }
    const std::string& work() const { return work_; }

private:
    std::string root_;
    std::string work_;
};

// Fails a test that leaves files in the working directory, then clears it for the next.
class working_directory_check : public ::testing::EmptyTestEventListener {
public:
    explicit working_directory_check(std::string dir) : dir_(std::move(dir)) {}
    void OnTestEnd(const ::testing::TestInfo& info) override {
        QDir work(QString::fromStdString(dir_));
        const QStringList left = work.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        if (left.isEmpty()) return;
        ADD_FAILURE() << info.test_suite_name() << "." << info.name()
                      << " left files in the working directory: " << left.join(", ").toStdString();
        for (const QString& name : left) {
            const QString path = work.filePath(name);
            if (QFileInfo(path).isDir())
                QDir(path).removeRecursively();
            else
                QFile::remove(path);
        }
    }

private:
    std::string dir_;
};

} // namespace

int main(int argc, char** argv) {
    // Listing (test discovery) is seen before Google Test removes its flags.
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0) listing = true;
    ::testing::InitGoogleTest(&argc, argv);

    private_directories dirs;
    if (!dirs.create()) {
        std::fprintf(stderr, "cannot create a private home and working directory under /tmp\n");
        return 1;
    }
    previous_handler = qInstallMessageHandler(test_message_handler);

    const std::string platform = VEZOVAD_TEST_PLATFORM;
    std::unique_ptr<QApplication> app;
    if (platform != "none" && !listing) {
        if (platform == "offscreen") {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        } else {
            if (std::getenv("DISPLAY") == nullptr) {
                std::fprintf(stderr, "these tests render: run them under an X server (scripts/xvfb.sh)\n");
                return 1;
            }
            qputenv("QT_QPA_PLATFORM", "xcb");
            QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat());
        }
        app = std::make_unique<QApplication>(argc, argv);
    }
    ::testing::UnitTest::GetInstance()->listeners().Append(new working_directory_check(dirs.work()));
    const int result = RUN_ALL_TESTS();
    app.reset();
    return result;
}
