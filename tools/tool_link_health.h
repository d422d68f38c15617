// The status bar's link health: one label per piece the window hands it, a
// piece marked as an alert in the warning colour. The labels are reused from
// refresh to refresh; nothing is redrawn when nothing changed.
#pragma once

#include "logic/link_health.h"

#include <QLabel>
#include <QStringList>
#include <QWidget>
#include <vector>

class QHBoxLayout;

class tool_link_health : public QWidget {
    Q_OBJECT

public:
    explicit tool_link_health(QWidget* parent = nullptr);

    void show_fields(const std::vector<link_health::field>& fields);
    void clear() { show_fields({}); }

    // What is shown, for scripts and tests.
    QStringList texts() const;
    // True when the piece whose text starts with `prefix` is shown as an alert.
    bool alert(const QString& prefix) const;

private:
    QHBoxLayout* layout_;
    std::vector<QLabel*> labels_;
    std::vector<link_health::field> shown_;
};
