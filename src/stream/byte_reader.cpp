#include "stream/byte_reader.h"

#include "stream/rw_messages.h"

#include <cstring>

namespace quillmap {

bool byte_reader::seek(uint64_t offset, const char* what) {
    if (failed_ || offset > bytes_.size()) {
        // Name the place that was asked for, not the cursor: that is the offset the file gave.
        return fail(what, offset, 0);
    }
    position_ = offset;
    return true;
}

bool byte_reader::fail(const char* what, uint64_t offset, uint64_t count) {
    if (failed_) return false;
    failed_ = true;
    // The file offset can pass UINT64_MAX only for a span that starts there; keep the sum in range.
    const uint64_t at = offset > UINT64_MAX - base_ ? UINT64_MAX : base_ + offset;
    const uint64_t left = offset < bytes_.size() ? bytes_.size() - offset : 0;
    error_ = rw_msg::read_past_end(what, at, count, left);
    return false;
}

bool byte_writer::seek(uint64_t offset) {
    if (failed_) return false;
    if (!grow_ && offset > fixed_.size()) {
        failed_ = true;
        error_ = rw_msg::write_past_end(offset, 0, fixed_.size());
        return false;
    }
    position_ = offset;
    return true;
}

bool byte_writer::put(const uint8_t* data, uint64_t count) {
    if (failed_) return false;
    if (grow_) {
        if (!fits(position_, count, grow_->max_size())) {
            failed_ = true;
            error_ = rw_msg::write_past_end(position_, count, grow_->max_size());
            return false;
        }
        if (grow_->size() < position_ + count) grow_->resize(size_t(position_ + count));
        if (count) std::memcpy(grow_->data() + position_, data, size_t(count));
    } else {
        if (!fits(position_, count, fixed_.size())) {
            failed_ = true;
            error_ = rw_msg::write_past_end(position_, count, fixed_.size());
            return false;
        }
        if (count) std::memcpy(fixed_.data() + position_, data, size_t(count));
    }
    position_ += count;
    return true;
}

} // namespace quillmap
