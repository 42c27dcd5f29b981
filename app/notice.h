// The notice Memo1 shows at start-up: what the tool does and what it changes,
// so that a user knows before pressing a button. "清空日志" removes it.
#pragma once
#include <string>

namespace vx {

constexpr int kNoticeLineCount = 27;

// The notice as one UTF-8 text with "\r\n" between lines (no final break), ready
// for a multi-line EDIT.
std::string NoticeText();

}  // namespace vx
