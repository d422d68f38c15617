// Answers the program's message boxes and file dialogs during a test.
// While an answerer lives, every box or dialog is recorded in `seen` and
// answered from the queued answers in order; when the queue is empty a box
// is answered with its first standard button (Ok) and a file dialog is
// cancelled.
#pragma once

#include "widgets/dialog_seam.h"

#include <QString>
#include <deque>
#include <functional>
#include <vector>

class dialog_answerer {
public:
    dialog_answerer();
    ~dialog_answerer();
    dialog_answerer(const dialog_answerer&) = delete;
    dialog_answerer& operator=(const dialog_answerer&) = delete;

    void answer_file(const QString& path);                 // next file dialog returns path
    void answer_button(QMessageBox::StandardButton button); // next box returns button
    // The next modal dialog of the program's own is handed to act (which
    // plays the user); without one queued, a modal dialog is left untouched.
    void answer_modal(std::function<void(QDialog*)> act);

    std::vector<dialog_seam::request> seen;

    // Number of boxes (any kind but file dialogs) seen with this text.
    int boxes_with_text(const QString& text) const;
    const dialog_seam::request* last_box() const;

private:
    std::deque<dialog_seam::answer> queued_files_;
    std::deque<dialog_seam::answer> queued_buttons_;
    std::deque<std::function<void(QDialog*)>> queued_modals_;
};
