// The replies the printer sends, as data: what to look for in a chunk and
// what the operator is told.
#pragma once

#include <span>
#include <string_view>

namespace korvel::printer {

enum class ResponseAction {
    StartReport,       // "u"
    EndReport,         // "."
    Connected,         // message, write "u", hide label_send
    Message,           // message only
    ProgressAdvance,   // status_send one step on
    Saving,            // message, label_send shown, progress 0 of 100, Timer3
    Saved,             // label_send hidden, message, status_send hidden, maximum 240
    TextUpload,        // "}"
    ImageUpload,       // "(" unless "}" is there too
};

struct Response {
    int order;
    std::string_view text;     // searched for, case-sensitive
    std::string_view message;  // empty when the response shows none
    ResponseAction action;
};

// All 29 entries in table order.
std::span<const Response> responses();

// The entry whose text is exactly `text`, or nullptr.
const Response* findResponse(std::string_view text);

} // namespace korvel::printer
