#include "platform/ui_host.h"

namespace quillmap {

std::vector<std::pair<std::string, std::string>> split_filter(const std::string& filter) {
    std::vector<std::pair<std::string, std::string>> pairs;
    size_t pos = 0;
    while (pos < filter.size()) {
        const size_t bar = filter.find('|', pos);
        if (bar == std::string::npos) break;
        const size_t end = filter.find('|', bar + 1);
        const size_t stop = end == std::string::npos ? filter.size() : end;
        pairs.emplace_back(filter.substr(pos, bar - pos), filter.substr(bar + 1, stop - bar - 1));
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    return pairs;
}

int progress_window::ask(ui_host& host, const std::string& text, const std::string& caption,
                         box_buttons buttons, box_icon icon) {
    return host.message_box(text, caption, buttons, icon);
}

int scripted_ui_host::message_box(const std::string& text, const std::string& caption,
                                  box_buttons buttons, box_icon icon) {
    ui_event event;
    event.kind = ui_event::message;
    event.text = text;
    event.caption = caption;
    event.buttons = buttons;
    event.icon = icon;
    log.push_back(event);
    if (!messages_.empty()) {
        const int result = messages_.front();
        messages_.pop_front();
        return result;
    }
    return (buttons == box_buttons::yes_no || buttons == box_buttons::yes_no_cancel) ? id_yes
                                                                                     : id_ok;
}

bool scripted_ui_host::file_dialog(const file_request& request, std::vector<std::string>& paths) {
    ui_event event;
    event.kind = ui_event::file;
    event.request = request;
    log.push_back(event);
    paths.clear();
    if (files_.empty()) return false;
    paths = std::move(files_.front());
    files_.pop_front();
    if (!request.multiple && paths.size() > 1) paths.resize(1);
    return !paths.empty();
}

int scripted_ui_host::run(modal_dialog& dialog) {
    ui_event event;
    event.kind = ui_event::modal;
    event.text = dialog.dialog_name();
    log.push_back(event);
    if (modals_.empty()) return id_cancel;
    auto script = std::move(modals_.front());
    modals_.pop_front();
    return script(dialog);
}

namespace {
// Steps until the scripted cancel; 0 never cancels.
class scripted_progress : public progress_window {
  public:
    explicit scripted_progress(int cancel_at) : cancel_at_(cancel_at) {}
    bool step(int, const std::string&) override { return ++steps_ != cancel_at_; }

  private:
    int cancel_at_;
    int steps_ = 0;
};
} // namespace

std::unique_ptr<progress_window> scripted_ui_host::begin_progress(const std::string& text, int) {
    ui_event event;
    event.kind = ui_event::progress;
    event.text = text;
    log.push_back(event);
    int cancel_at = 0;
    if (!progress_.empty()) {
        cancel_at = progress_.front();
        progress_.pop_front();
    }
    return std::make_unique<scripted_progress>(cancel_at);
}

std::vector<ui_event> scripted_ui_host::of_kind(ui_event::kind_t kind) const {
    std::vector<ui_event> events;
    for (const auto& e : log)
        if (e.kind == kind) events.push_back(e);
    return events;
}

std::vector<std::string> scripted_ui_host::message_texts() const {
    std::vector<std::string> texts;
    for (const auto& e : log)
        if (e.kind == ui_event::message) texts.push_back(e.text);
    return texts;
}

} // namespace quillmap
