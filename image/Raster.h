#pragma once
// The printer's picture format: 240 columns, each sent as 22 values whose
// low seven bits carry one pixel of each of the seven 22-row bands.
#include <functional>
#include <string>
#include <vector>

namespace korvel::image {

constexpr int kColumns = 240, kRows = 154, kPositions = 22, kValues = 5280;
constexpr int kBands = 7;

// Bit cleared in a value when the band's pixel is black, band 0 first.
constexpr int kBandBits[kBands] = {8, 4, 1, 2, 32, 64, 16};

// Always exactly kValues values, column by column, position 1..22 within a
// column. Pixels outside width x height (and columns past 240) are white;
// isBlack is only asked about pixels inside both the picture and the canvas.
std::vector<int> rasterise(int width, int height, const std::function<bool(int x, int y)>& isBlack);


// The trace of what was sent: "240," then each value followed by ",".
std::string traceFileText(const std::vector<int>& values);

} // namespace korvel::image
