// The status monitor on its own: the form, the values it shows, and the CSV
// log with its header, its lines and its refusals.
#include "menus/menu_status.h"
#include "tests/support/comma_locale.h"
#include "tests/support/qt_fixtures.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>

#include <cstring>
#include <memory>

namespace {

using packet_t = TAVRIN::DadodUz::sensing_packet_t;

// Label object, line edit object and label text of the 24 rows, top to bottom.
struct status_row {
    const char* label;
    const char* field;
    const char* text;
};
const status_row kRows[] = {
    {"lel_xadc_scan_count", "le_xadc_scan_count", "xadc_scan_count"},
    {"lel_xadc_on_chip_temp", "le_xadc_on_chip_temp", "xadc_onchip_temp"},
    {"lel_xadc_vccint", "le_xadc_vccint", "xadc_vccint"},
    {"lel_xadc_vvaux", "le_xadc_vccaux", "xadc_vccaux"},
    {"lel_xadc_vccbram", "le_xadc_vccbram", "xadc_vccbram"},
    {"lel_xadc_vccpint", "le_xadc_vccpint", "xadc_vccpint"},
    {"lel_xadc_vccpaux", "le_xadc_vccpaux", "xadc_vccpaux"},
    {"lel_xadc_vcc_ddr", "le_xadc_vcco_ddr", "xadc_vcco_ddr"},
    {"lel_xadc_rd_ddr_vtt", "le_xadc_rd_ddr_vtt", "xadc_rd_ddr_vtt"},
    {"lel_xadc_rd_dp3v3", "le_xadc_rd_dp3v3", "xadc_rd_dp3v3"},
    {"lel_xadc_rp_p12v", "le_xadc_rd_p12v", "xadc_rd_p12v"},
    {"lel_xadc_rd_heat", "le_xadc_rd_heat", "xadc_rd_heat"},
    {"lel_xadc_tx_0v5", "le_xadc_tx_0v5", "xadc_tx_0v5"},
    {"lel_xadc_tx_5v0", "le_xadc_tx_5v0", "xadc_tx_5v0"},
    {"lel_xadc_tx_12v", "le_xadc_tx_12v", "xadc_tx_12v"},
    {"lel_xadc_tx_hv", "le_xadc_tx_hv", "xadc_tx_hv"},
    {"lel_xadc_temp", "le_xadc_tx_temp", "xadc_tx_temp"},
    {"lel_xadc_rx_vio", "le_xadc_rx_vio", "xadc_rx_vio"},
    {"lel_xadc_rx_vcore", "le_xadc_rx_vcore", "xadc_rx_vcore"},
    {"lel_xadc_rx_bias", "le_xadc_rx_bias", "xadc_rx_bias"},
    {"lel_xadc_rx_vdp", "le_xadc_rx_vdp", "xadc_rx_vdp"},
    {"lel_xadc_rx_vdn", "le_xadc_rx_vdn", "xadc_rx_vdn"},
    {"lel_xadc_rx_0v5", "le_xadc_rx_0v5", "xadc_rx_0v5"},
    {"lel_rx_temp", "le_rx_temp", "rx_temp"},
};

const char* const kHeader =
    "time,xadc_scan_count,xadc_onchip_temp,xadc_vccint,xadc_vccaux,xadc_vccbram,xadc_vccpint,xadc_vccpaux,"
    "xadc_vcco_ddr,xadc_rd_ddr_vtt,xadc_rd_dp3v3,xadc_rd_p12v,xadc_rd_heat,xadc_tx_0v5,xadc_tx_5v0,xadc_tx_12v,"
    "xadc_tx_hv,xadc_tx_temp,xadc_rx_vio,xadc_rx_vcore,xadc_rx_bias,xadc_rx_vdp,xadc_rx_vdn,xadc_rx_0v5,rx_temp,";

packet_t record(std::uint32_t count, float temp) {
    packet_t p;
    p.xadc_scan_count = count;
    p.xadc_onchip_temp = temp;
    p.xadc_rx_bias = 0.0001f;
    p.rx_temp = 0.00001f;
    return p;
}

QStringList file_lines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split('\n');
}

class menu_status_test : public widget_test {
protected:
    void SetUp() override {
        widget_test::SetUp();
        dialog = std::make_unique<menu_status>();
    }
    QCheckBox* logging_box() { return control<QCheckBox>(dialog.get(), "cb_sens_logging"); }
    QString field(const char* name) { return control<QLineEdit>(dialog.get(), name)->text(); }
    void feed(packet_t p) { dialog->update_status(p); }

    std::unique_ptr<menu_status> dialog;
};

} // namespace

TEST_F(menu_status_test, FormHasTheTwentyFourRowsInOrder) {
    EXPECT_EQ(dialog->windowTitle(), "GX Status");
    EXPECT_EQ(dialog->size(), QSize(369, 714));
    EXPECT_EQ(dialog->font().family(), "Arial");
    EXPECT_EQ(dialog->font().pointSize(), 10);
    EXPECT_FALSE(dialog->isModal());
    EXPECT_FALSE(dialog->windowIcon().isNull());
    EXPECT_EQ(logging_box()->text(), "Status Logging");
    EXPECT_FALSE(logging_box()->isChecked());
    int previous_y = logging_box()->geometry().y();
    dialog->show();
    for (const status_row& r : kRows) {
        auto* label = control<QLabel>(dialog.get(), r.label);
        auto* edit = control<QLineEdit>(dialog.get(), r.field);
        ASSERT_TRUE(label && edit);
        EXPECT_EQ(label->text(), r.text);
        EXPECT_TRUE(edit->isReadOnly()) << r.field;
        EXPECT_GT(edit->y(), previous_y) << r.field << " comes below the row before";
        EXPECT_LT(label->x(), edit->x()) << r.label;
        previous_y = edit->y();
    }
    dialog->hide();
}

TEST_F(menu_status_test, ValuesShowAsTheRecordCarriesThemInACommaLocale) {
    comma_locale comma;
    if (!comma.active()) GTEST_SKIP() << comma_locale::missing();
    packet_t p = record(4294967295u, 45.5f);
    p.xadc_vccint = 1.0005f;
    p.xadc_tx_hv = 3.3f;
    feed(p);
    EXPECT_EQ(field("le_xadc_scan_count"), "4294967295");
    EXPECT_EQ(field("le_xadc_on_chip_temp"), "45.5");
    EXPECT_EQ(field("le_xadc_vccint"), "1.0005");
    EXPECT_EQ(field("le_xadc_tx_hv"), "3.3");
    EXPECT_EQ(field("le_xadc_rx_bias"), "0.0001");
    EXPECT_EQ(field("le_rx_temp"), "1e-05");
    EXPECT_EQ(field("le_xadc_vccaux"), "0");
}

TEST_F(menu_status_test, LoggingAppendsAHeaderPerStartAndALinePerRecordWhileHidden) {
    const QString path = temp_path("status.csv");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("earlier line\n");
    }
    dialogs.answer_file(path);
    logging_box()->click();
    ASSERT_EQ(dialogs.seen.size(), 1u);
    EXPECT_EQ(dialogs.seen[0].type, dialog_seam::kind::save_file);
    EXPECT_EQ(dialogs.seen[0].title, "Save GX status");
    EXPECT_EQ(dialogs.seen[0].dir, QDir::homePath());
    EXPECT_EQ(dialogs.seen[0].filter, "Status File (*.csv)");
    ASSERT_TRUE(dialog->is_logging());

    // Logging does not need the window on screen.
    EXPECT_FALSE(dialog->isVisible());
    feed(record(1, 45.5f));
    // The line is on disk as soon as its record has arrived.
    EXPECT_EQ(file_lines(path).size(), 4) << file_lines(path).join('|').toStdString();
    feed(record(2, 0.0001f));
    logging_box()->click(); // off
    EXPECT_FALSE(dialog->is_logging());
    feed(record(3, 7.f)); // not logged

    // A second start appends a fresh header.
    dialogs.answer_file(path);
    logging_box()->click();
    feed(record(4, 1e-05f));
    logging_box()->click();

    const QStringList lines = file_lines(path);
    ASSERT_EQ(lines.size(), 7) << lines.join('|').toStdString();
    EXPECT_EQ(lines[0], "earlier line");
    EXPECT_EQ(lines[1], kHeader);
    EXPECT_EQ(lines[4], kHeader);
    EXPECT_EQ(lines[6], "") << "the file ends with a line end";
    const QRegularExpression data(R"(^\d\d:\d\d:\d\d:\d\d\d,)");
    const char* const tails[] = {"1,45.5,", "2,0.0001,", "4,1e-05,"};
    const int at[] = {2, 3, 5};
    for (int k = 0; k < 3; ++k) {
        const QString& l = lines[at[k]];
        EXPECT_TRUE(data.match(l).hasMatch()) << l.toStdString();
        EXPECT_EQ(l.count(','), 25) << l.toStdString();
        EXPECT_EQ(l.mid(13, int(std::strlen(tails[k]))), tails[k]) << l.toStdString();
        EXPECT_TRUE(l.endsWith(",0,0,0,0.0001,0,0,0,1e-05,")) << l.toStdString();
    }
}

TEST_F(menu_status_test, NoFileMeansTheBoxIsUntickedAndAnUnopenableOneIsReported) {
    // Cancelled dialog.
    logging_box()->click();
    EXPECT_FALSE(logging_box()->isChecked());
    EXPECT_FALSE(dialog->is_logging());
    EXPECT_EQ(dialogs.seen.size(), 1u);

    // A file in a folder that does not exist.
    const QString bad = temp_path("missing/status.csv");
    dialogs.answer_file(bad);
    logging_box()->click();
    EXPECT_FALSE(logging_box()->isChecked());
    EXPECT_FALSE(dialog->is_logging());
    const auto* box = dialogs.last_box();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->type, dialog_seam::kind::warning);
    EXPECT_EQ(box->title, "Warning");
    EXPECT_TRUE(box->text.contains(bad)) << box->text.toStdString();
    feed(record(1, 1.f));
    EXPECT_EQ(field("le_xadc_scan_count"), "1") << "records are still shown";
}

TEST_F(menu_status_test, ClosingTheProgramWhileLoggingLeavesCompleteLines) {
    const QString path = temp_path("status.csv");
    dialogs.answer_file(path);
    logging_box()->click();
    for (std::uint32_t i = 0; i < 50; ++i) feed(record(i, 20.f + float(i)));
    dialog.reset();
    const QStringList lines = file_lines(path);
    ASSERT_EQ(lines.size(), 52);
    EXPECT_EQ(lines.last(), "");
    EXPECT_TRUE(lines[50].endsWith(",49,69,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0.0001,0,0,0,1e-05,")) << lines[50].toStdString();
}
