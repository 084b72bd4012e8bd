// An independent reader for the codes the printer got: zxing-cpp.
#pragma once

#ifndef ZX_USE_UTF8
#define ZX_USE_UTF8 // Result::text() as UTF-8
#endif
#include <ZXing/ReadBarcode.h>

#include <QImage>

#include <optional>
#include <string>
#include <vector>

struct CodeRead {
    std::string text;   // UTF-8; for GS1, the element strings without their separators
    std::string format; // zxing's name of the symbology
    std::string symbologyId; // the reader's "]cm": the modifier tells a GS1 symbol from a plain one
};

// A GS1 symbol reads as such by its FNC1 in first position, not by its text.
inline bool readAsGs1(const CodeRead& read)
{
    return read.symbologyId == "]d2" || read.symbologyId == "]C1" || read.symbologyId == "]Q3";
}

// Any picture, black where its grey is below half. Read as it is, then as a
// picture holding nothing but the code (zxing's Data Matrix finder misses
// small clean symbols otherwise), then each printer dot seen as 2 x 2 pixels,
// as a camera sees them.
inline std::optional<CodeRead> readCode(const QImage& picture, bool gs1)
{
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    for (int zoom : {1, 2}) {
        const int w = grey.width() * zoom, h = grey.height() * zoom;
        std::vector<uint8_t> lum(std::size_t(w) * std::size_t(h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                lum[std::size_t(y) * std::size_t(w) + std::size_t(x)] = grey.constScanLine(y / zoom)[x / zoom] < 128 ? 0 : 255;
        for (bool pure : {false, true}) {
            ZXing::DecodeHints hints;
            hints.setTryHarder(true);
            hints.setIsPure(pure);
            const ZXing::Result r = ZXing::ReadBarcode(ZXing::ImageView(lum.data(), w, h, ZXing::ImageFormat::Lum), hints);
            if (r.isValid()) {
                std::string text = r.text();
                if (gs1)
                    std::erase(text, '\x1d');
                // zxing names an EAN-13 that starts with 0 a UPC-A and drops the 0.
                if (r.format() == ZXing::BarcodeFormat::UPCA)
                    text.insert(text.begin(), '0');
                return CodeRead{text, ZXing::ToString(r.format()), r.symbologyIdentifier()};
            }
        }
    }
    return std::nullopt;
}

// What a reader gives back for data: GS1 element strings lose their
// parentheses; 12 digits of EAN-13 gain their check digit (GS1 mod 10:
// weights 1 and 3 from the left, the digit that makes a multiple of ten).
inline std::string expectedRead(const std::string& data, bool gs1, bool ean13 = false)
{
    if (ean13 && data.size() == 12) {
        int sum = 0;
        for (std::size_t i = 0; i < 12; ++i)
            sum += (data[i] - '0') * (i % 2 ? 3 : 1);
        return data + char('0' + (10 - sum % 10) % 10);
    }
    if (!gs1)
        return data;
    std::string out;
    for (char c : data)
        if (c != '(' && c != ')')
            out += c;
    return out;
}
