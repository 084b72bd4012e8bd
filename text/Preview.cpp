#include "Preview.h"

#include "Order.h"

#include <map>
#include <utility>

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace korvel::text {

namespace {

using FormMap = std::map<std::pair<char16_t, Form>, char16_t>;

// From Unicode's own decompositions: <isolated>, <final>, <initial>, <medial>.
FormMap buildForms()
{
    FormMap forms;
    UErrorCode err = U_ZERO_ERROR;
    const icu::Normalizer2* nfkd = icu::Normalizer2::getNFKDInstance(err);
    if (U_FAILURE(err))
        return forms;
    for (UChar32 c = 0xFB50; c <= 0xFEFC; ++c) {
        Form form;
        switch (u_getIntPropertyValue(c, UCHAR_DECOMPOSITION_TYPE)) {
        case U_DT_ISOLATED: form = Form::Isolated; break;
        case U_DT_FINAL: form = Form::Final; break;
        case U_DT_INITIAL: form = Form::Initial; break;
        case U_DT_MEDIAL: form = Form::Medial; break;
        default: continue;
        }
        icu::UnicodeString letter;
        if (!nfkd->getRawDecomposition(c, letter) || letter.length() != 1)
            continue;
        forms.try_emplace({char16_t(letter.charAt(0)), form}, char16_t(c));
    }
    return forms;
}

} // namespace

char16_t presentationForm(char16_t letter, Form form)
{
    static const FormMap forms = buildForms();
    if (auto it = forms.find({letter, form}); it != forms.end())
        return it->second;
    // A right-joining letter has no initial or medial form.
    const Form fallback = form == Form::Medial ? Form::Final : Form::Isolated;
    if (auto it = forms.find({letter, fallback}); it != forms.end())
        return it->second;
    return letter;
}

std::vector<PreviewLine> previewLines(const TextStream& stream, const std::function<std::u16string(char16_t)>& fill)
{
    std::vector<PreviewLine> lines(1);
    std::size_t lineNo = 0;
    lines[0].rightToLeft = !stream.lineRtl.empty() && stream.lineRtl[0];
    const std::u16string_view text = stream.text;
    for (std::size_t i = 0; i + 1 < stream.codes.size(); ++i) { // the added space is left out
        const char code = stream.codes[i];
        if (code == '\r')
            continue;
        if (code == '\n') {
            ++lineNo;
            lines.emplace_back();
            lines.back().rightToLeft = lineNo < stream.lineRtl.size() && stream.lineRtl[lineNo];
            continue;
        }
        PreviewLine& line = lines.back();
        const auto at = std::size_t(stream.source[i]);
        if (fill && code == '^' && isTokenStart(text, at) && !isFontToken(text, at) && i + 1 < stream.codes.size()) {
            const std::u16string value = fill(text[at + 1]);
            if (!value.empty()) {
                line.shown += value;
                line.shared.resize(line.shown.size(), false);
                ++i;
                continue;
            }
        }
        line.shown.push_back(stream.shown[i]);
        line.shared.push_back(code != kNoCode && lettersOfCode(static_cast<std::uint8_t>(code)).size() > 1);
    }
    return lines;
}

} // namespace korvel::text
