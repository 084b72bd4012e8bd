#include "image/Raster.h"

#include <algorithm>
#include <stdexcept>

namespace korvel::image {

std::vector<int> rasterise(int width, int height, const std::function<bool(int x, int y)>& isBlack)
{
    const int columns = std::clamp(width, 0, kColumns);
    const int rows = std::clamp(height, 0, kRows);
    std::vector<int> values(kValues, 255);
    for (int x = 0; x < columns; ++x) {
        for (int i = 0; i < kPositions; ++i) {
            int value = 255;
            for (int band = 0; band < kBands; ++band) {
                const int y = kPositions * band + i;
                if (y < rows && isBlack(x, y))
                    value &= ~kBandBits[band];
            }
            values[static_cast<std::size_t>(kPositions * x + i)] = value;
        }
    }
    return values;
}

std::string traceFileText(const std::vector<int>& values)
{
    std::string text = std::to_string(kColumns) + ",";
    text.reserve(text.size() + 4 * values.size());
    for (int v : values) {
        text += std::to_string(v);
        text += ',';
    }
    return text;
}

} // namespace korvel::image
