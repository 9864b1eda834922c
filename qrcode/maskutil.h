#pragma once

// The eight data masks of ISO/IEC 18004.
class TMaskUtil {
public:
    // True when mask `maskPattern` inverts the data module in column x, row y.
    // Any pattern outside 0..7 inverts every module.
    static bool GetDataMaskBit(int maskPattern, int x, int y);
};
