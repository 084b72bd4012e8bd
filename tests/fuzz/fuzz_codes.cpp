// Any bytes as the data of each symbology at each module size: refused with
// a message, or a picture inside the canvas that zxing-cpp reads back as the data.
#include "CodeReader.h"
#include "FuzzCheck.h"
#include "image/Codes.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <string>

using namespace korvel::image;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    if (size < 1)
        return 0;
    const auto& names = symbologyNames();
    const Symbology symbology = names[bytes[0] % names.size()].symbology;
    const int module = 1 + (bytes[0] / names.size()) % kMaxModule;
    const std::string data(reinterpret_cast<const char*>(bytes + 1), size - 1);

    const CodeOutcome out = makeCode(symbology, data, module);
    switch (out.kind) {
    case CodeOutcome::Kind::BadData:
        FUZZ_CHECK(!out.reason.empty());
        FUZZ_CHECK(codeRefusalMessage(out).size() > out.reason.size());
        return 0;
    case CodeOutcome::Kind::TooLarge:
        FUZZ_CHECK(out.width > 240 || out.height > 154);
        FUZZ_CHECK(out.largestModule < module);
        FUZZ_CHECK(!codeRefusalMessage(out).empty());
        if (out.largestModule > 0)
            FUZZ_CHECK(makeCode(symbology, data, out.largestModule).kind == CodeOutcome::Kind::Made);
        return 0;
    case CodeOutcome::Kind::Made: break;
    }
    const CodePicture& p = out.picture;
    FUZZ_CHECK(p.width > 0 && p.height > 0 && p.width <= 240 && p.height <= 154);
    FUZZ_CHECK(p.pixels.size() == std::size_t(p.width) * std::size_t(p.height));
    QImage canvas(240, 154, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            // Whole modules: every pixel as the top-left one of its square.
            FUZZ_CHECK(p.black(x, y) == p.black(x / module * module, y / module * module));
            if (p.black(x, y))
                canvas.setPixel(x, y, qRgb(0, 0, 0));
        }
    const auto read = readCode(canvas, isGs1(symbology));
    if (!read)
        std::fprintf(stderr, "unread: %s module %d, %dx%d\n", names[bytes[0] % names.size()].key, module, p.width, p.height);
    FUZZ_CHECK(read.has_value());
    FUZZ_CHECK(read->text == expectedRead(data, isGs1(symbology), symbology == Symbology::Ean13));
    return 0;
}
