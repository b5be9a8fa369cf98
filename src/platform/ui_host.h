#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quillmap {

// Results of modal dialogs, with the values the dialog framework gives them.
enum dialog_result : int { id_ok = 1, id_cancel = 2, id_yes = 6, id_no = 7 };

enum class box_buttons { ok, ok_cancel, yes_no, yes_no_cancel };
enum class box_icon { none, error, warning, question, information };

// A modal dialog that the host can run. Dialog classes derive from it (and from their toolkit
// class) so that tests can answer them from a script instead of showing them.
class modal_dialog {
  public:
    virtual ~modal_dialog() = default;
    // Shows the dialog and waits: id_ok or id_cancel.
    virtual int run_modal() = 0;
    // The class name, for scripts and logs ("COneEditDialog", "CRWSelect", ...).
    virtual const char* dialog_name() const = 0;
};

// One Open or Save dialog. The filter is "description|pattern|description|pattern|...|".
struct file_request {
    bool save = false;
    bool multiple = false;
    bool folder = false;           // a folder is chosen, not a file
    std::string default_extension; // ".txd"; empty for none
    std::string initial_name;
    std::string filter;
};

// Splits a filter text into (description, pattern) pairs.
std::vector<std::pair<std::string, std::string>> split_filter(const std::string& filter);

class ui_host;

// The window of a long task that the user may stop. The task calls step() after each piece of
// work; once it answers false the user asked to stop and the task ends after that piece.
class progress_window {
  public:
    virtual ~progress_window() = default;
    // `done` of the task's total are finished; `next` names the piece worked on now.
    virtual bool step(int done, const std::string& next) = 0;
    // A question the task asks while the window is up: shown over it, where it can be answered.
    virtual int ask(ui_host& host, const std::string& text, const std::string& caption,
                    box_buttons buttons, box_icon icon);
    // The user asked to stop; seen without stepping.
    virtual bool cancelled() const { return false; }
};

// The one way the editor talks to the user through modal windows.
class ui_host {
  public:
    virtual ~ui_host() = default;
    virtual int message_box(const std::string& text, const std::string& caption,
                            box_buttons buttons, box_icon icon) = 0;
    // Fills `paths` with the chosen files (several with `multiple`); false on Cancel.
    virtual bool file_dialog(const file_request& request, std::vector<std::string>& paths) = 0;
    virtual int run(modal_dialog& dialog) = 0;
    // Shows `text` with a bar for `total` pieces and a Cancel button until the result is gone.
    virtual std::unique_ptr<progress_window> begin_progress(const std::string& text, int total) = 0;
};

// What a scripted host was asked, in order.
struct ui_event {
    enum kind_t { message, file, modal, progress } kind = message;
    std::string text;    // message text, the dialog name for `modal`, the task for `progress`
    std::string caption; // message caption
    box_buttons buttons = box_buttons::ok;
    box_icon icon = box_icon::none;
    file_request request;
};

// Answers from queues filled by a test. Without a queued answer a message box answers its
// first button (OK or Yes), file and modal dialogs are cancelled and a task runs to its end.
class scripted_ui_host : public ui_host {
  public:
    int message_box(const std::string& text, const std::string& caption, box_buttons buttons,
                    box_icon icon) override;
    bool file_dialog(const file_request& request, std::vector<std::string>& paths) override;
    int run(modal_dialog& dialog) override;
    std::unique_ptr<progress_window> begin_progress(const std::string& text, int total) override;

    void answer_message(int result) { messages_.push_back(result); }
    void answer_file(std::vector<std::string> paths) { files_.push_back(std::move(paths)); }
    void answer_file(const std::string& path) { files_.push_back({path}); }
    void cancel_file() { files_.push_back({}); }
    void answer_modal(std::function<int(modal_dialog&)> script) {
        modals_.push_back(std::move(script));
    }
    // The next task is cancelled at its `steps`-th step (the first is 1).
    void cancel_progress_at(int steps) { progress_.push_back(steps); }

    // Events of one kind, for short assertions.
    std::vector<ui_event> of_kind(ui_event::kind_t kind) const;
    // Texts of every message box shown so far.
    std::vector<std::string> message_texts() const;
    bool all_answers_used() const {
        return messages_.empty() && files_.empty() && modals_.empty() && progress_.empty();
    }
    void clear_log() { log.clear(); }

    std::vector<ui_event> log;

  private:
    std::deque<int> messages_;
    std::deque<std::vector<std::string>> files_;
    std::deque<std::function<int(modal_dialog&)>> modals_;
    std::deque<int> progress_;
};

} // namespace quillmap
