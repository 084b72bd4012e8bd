#include "Responses.h"

#include "Messages.h"

#include <array>

namespace korvel::printer {

namespace {

using A = ResponseAction;

constexpr std::array<Response, 29> kTable{{
    {1, "u", {}, A::StartReport},
    {2, ".", {}, A::EndReport},
    {3, "s", kMsgConnected, A::Connected},
    {4, "pload", kMsgImageReady, A::Message},
    {5, "@", kMsgTextReady, A::Message},
    {6, "e", kMsgConnectError, A::Message},
    {7, "k", kMsgDataReceived, A::Message},
    {8, "%", {}, A::ProgressAdvance},
    {9, "w", kMsgSaving, A::Saving},
    {10, "v", kMsgSaved, A::Saved},
    {11, "S", kMsgSequenceSet, A::Message},
    {12, "{", kMsgTextStored, A::Message},
    {13, "p", kMsgImageError, A::Message},
    {14, "q", kMsgInkSet, A::Message},
    {15, "t", kMsgTimeSet, A::Message},
    {16, "l", kMsgInitialDelaySet, A::Message},
    {17, "d", kMsgDateSet, A::Message},
    {18, "j", kMsgProductionDateSet, A::Message},
    {19, "h", kMsgLeftToRight, A::Message},
    {20, "H", kMsgRightToLeft, A::Message},
    {21, "a", kMsgExpiryDateSet, A::Message},
    {22, "g", kMsgCountSet, A::Message},
    {23, "G", kMsgDelayAfterSet, A::Message},
    {24, "B", kMsgResolutionSet, A::Message},
    {25, "n", kMsgExpiryDateSet, A::Message},
    {26, "r", kMsgTextReceived, A::Message},
    {27, "c", kMsgCounterSet, A::Message},
    {28, "}", {}, A::TextUpload},
    {29, "(", {}, A::ImageUpload},
}};

} // namespace

std::span<const Response> responses() { return kTable; }

const Response* findResponse(std::string_view text)
{
    for (const Response& r : kTable)
        if (r.text == text)
            return &r;
    return nullptr;
}

} // namespace korvel::printer
