#include "tools/tool_link_health.h"

#include <QHBoxLayout>

namespace {
const char* const kNormalStyle = "";
const char* const kAlertStyle = "color: #ff5a4f; font-weight: bold;";
} // namespace

tool_link_health::tool_link_health(QWidget* parent) : QWidget(parent), layout_(new QHBoxLayout(this)) {
    setObjectName("link_health");
    layout_->setContentsMargins(4, 0, 4, 0);
    layout_->setSpacing(16);
    layout_->addStretch(1);
}

void tool_link_health::show_fields(const std::vector<link_health::field>& fields) {
    if (fields == shown_) return;
    while (labels_.size() < fields.size()) {
        auto* label = new QLabel(this);
        label->setObjectName(QString("link_health_%1").arg(labels_.size()));
        layout_->insertWidget(int(labels_.size()), label);
        labels_.push_back(label);
    }
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        QLabel* label = labels_[i];
        if (i >= fields.size()) {
            label->hide();
            continue;
        }
        const bool was_alert = i < shown_.size() && shown_[i].alert;
        if (i >= shown_.size() || shown_[i].text != fields[i].text) label->setText(QString::fromStdString(fields[i].text));
        if (i >= shown_.size() || was_alert != fields[i].alert)
            label->setStyleSheet(fields[i].alert ? kAlertStyle : kNormalStyle);
        label->show();
    }
    shown_ = fields;
}

QStringList tool_link_health::texts() const {
    QStringList out;
    for (const auto& f : shown_) out << QString::fromStdString(f.text);
    return out;
}

bool tool_link_health::alert(const QString& prefix) const {
    for (const auto& f : shown_)
        if (QString::fromStdString(f.text).startsWith(prefix)) return f.alert;
    return false;
}
