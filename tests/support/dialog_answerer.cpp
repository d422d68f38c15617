#include "tests/support/dialog_answerer.h"

#include <QDialog>

dialog_answerer::dialog_answerer() {
    dialog_seam::set_responder([this](const dialog_seam::request& req) {
        seen.push_back(req);
        dialog_seam::answer a;
        if (req.type == dialog_seam::kind::modal_dialog) {
            if (!queued_modals_.empty()) {
                auto act = std::move(queued_modals_.front());
                queued_modals_.pop_front();
                act(qobject_cast<QDialog*>(req.parent));
            }
            return a;
        }
        const bool file = req.type == dialog_seam::kind::save_file || req.type == dialog_seam::kind::open_file;
        auto& queue = file ? queued_files_ : queued_buttons_;
        if (!queue.empty()) {
            a = queue.front();
            queue.pop_front();
        } else if (!file) {
            a.button = req.buttons.testFlag(QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::NoButton;
        }
        return a;
    });
}

dialog_answerer::~dialog_answerer() { dialog_seam::set_responder({}); }

void dialog_answerer::answer_file(const QString& path) {
    dialog_seam::answer a;
    a.file = path;
    queued_files_.push_back(a);
}

void dialog_answerer::answer_button(QMessageBox::StandardButton button) {
    dialog_seam::answer a;
    a.button = button;
    queued_buttons_.push_back(a);
}

int dialog_answerer::boxes_with_text(const QString& text) const {
    int n = 0;
    for (const auto& r : seen)
        if (r.type != dialog_seam::kind::save_file && r.type != dialog_seam::kind::open_file &&
            r.type != dialog_seam::kind::modal_dialog && r.text == text)
            ++n;
    return n;
}

const dialog_seam::request* dialog_answerer::last_box() const {
    for (auto it = seen.rbegin(); it != seen.rend(); ++it)
        if (it->type != dialog_seam::kind::save_file && it->type != dialog_seam::kind::open_file &&
            it->type != dialog_seam::kind::modal_dialog)
            return &*it;
    return nullptr;
}

void dialog_answerer::answer_modal(std::function<void(QDialog*)> act) { queued_modals_.push_back(std::move(act)); }
